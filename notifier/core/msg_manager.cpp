#include "core/msg_manager.h"

#include "core/clock.h"
#include "core/endpoints.h"
#include "core/json_text.h"
#include "net/service_fetch.h"
#include "popups/popup_factory.h"
#include "popups/tidewell_base.h"

#include <QPointer>
#include <QSettings>

#include <climits>

namespace {

const QString kDateFormat = QStringLiteral("yyyy-MM-dd");
const QString kDate = QStringLiteral("Date");
const QString kAvaTimes = QStringLiteral("AvaTimes");
const QString kLastId = QStringLiteral("LastId");
const QString kCouponChecked = QStringLiteral("CouponChecked");
const QString kCouponId = QStringLiteral("CouponId");

std::unique_ptr<QSettings> openSettings() {
    auto settings =
        std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                    QStringLiteral("Tavorin"), QStringLiteral("Quillon"));
    settings->setFallbacksEnabled(false); // the current user's values only
    settings->beginGroup(QStringLiteral("TidewellPara"));
    return settings;
}

} // namespace

MsgManager::MsgManager(QObject* parent) : QObject(parent) {
    loadState();
}

MsgManager::~MsgManager() {
    delete keptPopup;
}

QString MsgManager::settingsLocation() {
    return openSettings()->fileName();
}

void MsgManager::loadState() {
    settings = openSettings();

    date = QDate::fromString(settings->value(kDate, QString()).toString(), kDateFormat);
    if (!date.isValid()) {
        date = tidewell::today();
        write(kDate, date.toString(kDateFormat));
    }

    avaTimes = readNumber(kAvaTimes);
    if (avaTimes > kChecksPerDay) {
        avaTimes = kChecksPerDay;
        write(kAvaTimes, avaTimes);
    }

    lastId = readNumber(kLastId);
    if (lastId == kNoId)
        write(kLastId, lastId);

    const quint32 checked = readNumber(kCouponChecked);
    if (checked == kNoId) {
        couponChecked = false;
        write(kCouponChecked, 0);
    } else {
        couponChecked = checked != 0;
    }

    couponId = settings->value(kCouponId, QString()).toString();
    if (couponId.isEmpty())
        write(kCouponId, QString());
}

// Absent values read as -1 (all bits set). The INI backend hands numbers back as text, and we
// store unsigned values there too, so both the signed and the unsigned 32-bit spelling must
// come back as the same bits; anything else that is not a number reads as 0.
quint32 MsgManager::readNumber(const QString& key) {
    const QVariant value = settings->value(key);
    if (!value.isValid())
        return kNoId;
    bool ok = false;
    const qlonglong number = value.toLongLong(&ok);
    if (!ok || number < qlonglong(INT_MIN) || number > qlonglong(UINT_MAX))
        return 0;
    return quint32(number);
}

void MsgManager::write(const QString& key, const QVariant& value) {
    settings->setValue(key, value);
    settings->sync();
}

void MsgManager::applyRollover() {
    const QDate day = tidewell::today();
    if (day == date)
        return;
    date = day;
    avaTimes = kChecksPerDay;
    couponChecked = false;
    write(kAvaTimes, avaTimes);
    write(kDate, date.toString(kDateFormat));
    write(kCouponChecked, 0);
}

void MsgManager::noteMessageAnswered() {
    if (avaTimes > 0)
        --avaTimes;
    write(kAvaTimes, avaTimes);
}

void MsgManager::noteMessageShown(quint32 id) {
    lastId = id;
    write(kLastId, lastId);
}

void MsgManager::noteCouponAnswered() {
    couponChecked = true;
    write(kCouponChecked, 1);
}

void MsgManager::noteCouponShown() {
    write(kCouponId, couponId);
}

bool MsgManager::start() {
    applyRollover();
    if (avaTimes == 0)
        return false;
    if (checkMessage())
        return true;
    return checkCoupon();
}

namespace {

// A positive-or-zero decimal that fits in 32 bits.
bool toUnsigned(const std::string& text, quint32* out) {
    bool ok = false;
    const uint value = tidewell::json::toQString(text).toUInt(&ok, 10);
    if (!ok)
        return false;
    *out = value;
    return true;
}

// Reads "ret", then "type", "id" and "msgData" of the body when "ret" is 1. False when the
// reply has nothing to show or a member is of a kind that cannot be read.
bool readMessageReply(const Json::Value& reply, std::string* type, std::string* id,
                      std::string* msgData) {
    if (!reply.isObject())
        return false;
    int ret = 0;
    if (!tidewell::json::readInt(reply.get("ret", Json::Value()), ret) || ret != 1)
        return false;
    Json::Value body;
    return tidewell::json::memberObject(reply, "body", body) &&
           tidewell::json::memberText(body, "type", *type) &&
           tidewell::json::memberText(body, "id", *id) &&
           tidewell::json::memberText(body, "msgData", *msgData);
}

} // namespace

bool MsgManager::checkMessage() {
    QByteArray body;
    if (!tidewell::fetchServiceBody(tidewell::endpoints().getMessage,
                                    tidewell::kServiceFetchLimitMs, &body))
        return false;
    noteMessageAnswered();

    Json::Value reply;
    if (!tidewell::json::parse(body.toStdString(), reply))
        return false;
    std::string typeText, idText, msgData;
    if (!readMessageReply(reply, &typeText, &idText, &msgData))
        return false;

    quint32 type = 0;
    quint32 id = 0;
    if (!toUnsigned(typeText, &type) || type == 0)
        return false;
    if (!toUnsigned(idText, &id) || id == lastId)
        return false;

    Json::Value record;
    if (!tidewell::json::parse(msgData, record))
        return false;
    // Type numbers beyond int still mean "a kind this version does not know".
    TidewellBase* popup = tidewell::createPopup(type > quint32(INT_MAX) ? 0 : int(type));
    if (!popup)
        return false;

    // A popup that declines may already have closed itself; it is deleted once, here.
    QObject* object = dynamic_cast<QObject*>(popup);
    const QPointer<QObject> alive(object);
    popup->setData(record);
    if (!popup->popup()) {
        if (!object || alive)
            delete popup;
        return false;
    }
    if (popup->isManaged())
        keptPopup = popup;
    noteMessageShown(id);
    return true;
}

// Coupon reminders come with their own popup; until then a run shows messages only.
bool MsgManager::checkCoupon() {
    return false;
}
