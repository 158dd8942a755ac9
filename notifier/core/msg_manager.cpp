#include "core/msg_manager.h"

#include "core/clock.h"
#include "core/endpoints.h"
#include "core/json_text.h"
#include "core/user_session.h"
#include "net/service_fetch.h"
#include "popups/popup_factory.h"
#include "popups/tidewell_base.h"
#include "popups/tidewell_coupon_msg.h"

#include <QDateTime>
#include <QPointer>
#include <QSettings>
#include <QUrl>

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

MsgManager::MsgManager(QObject* parent)
    : QObject(parent), fetchLimitMs(tidewell::kServiceFetchLimitMs) {
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
    const auto fetched =
        tidewell::fetchServiceBody(tidewell::endpoints().getMessage, fetchLimitMs, &body);
    if (fetched == tidewell::FetchResult::Failed)
        return false;
    noteMessageAnswered();
    if (fetched == tidewell::FetchResult::TooLarge)
        return false;

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

namespace {

// The service's wall-clock texts. Compared as written, so a daylight-saving change on this
// machine cannot shift or invalidate them.
QDateTime parseServiceTime(const std::string& text) {
    const QDateTime local = QDateTime::fromString(tidewell::json::toQString(text),
                                                  QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    if (!local.isValid())
        return {};
    return QDateTime(local.date(), local.time(), Qt::UTC);
}

struct CouponReply {
    std::string id, couponName, couponMoney, thresholdMoney, endDate, vipEndDate, stime;
};

// "code" first; the rest only when a coupon is offered. False when nothing is offered or a
// member is of a kind that cannot be read.
bool readCouponReply(const Json::Value& reply, CouponReply* out) {
    using tidewell::json::memberText;
    std::string code;
    if (!reply.isObject() || !memberText(reply, "code", code) || code != "0")
        return false;
    Json::Value coupon;
    return tidewell::json::memberObject(reply, "coupon", coupon) &&
           memberText(coupon, "id", out->id) && memberText(coupon, "couponName", out->couponName) &&
           memberText(coupon, "couponMoney", out->couponMoney) &&
           memberText(coupon, "thresholdMoney", out->thresholdMoney) &&
           memberText(coupon, "endDate", out->endDate) &&
           memberText(reply, "vipEndDate", out->vipEndDate) &&
           memberText(reply, "stime", out->stime);
}

} // namespace

bool MsgManager::buildCouponRecord(const std::string& replyText, Json::Value& record) {
    Json::Value reply;
    if (!tidewell::json::parse(replyText, reply))
        return false;
    CouponReply c;
    if (!readCouponReply(reply, &c))
        return false;

    const QDateTime S = parseServiceTime(c.stime);
    const QDateTime V = parseServiceTime(c.vipEndDate);
    const QDateTime E = parseServiceTime(c.endDate);
    if (!S.isValid() || !V.isValid() || !E.isValid())
        return false;
    const qint64 G = S.date().daysTo(V.date());
    if (G < -8 || G > 8)
        return false;

    const QString id = tidewell::json::toQString(c.id);
    const QString money = tidewell::json::toQString(c.couponMoney);
    const QString threshold = tidewell::json::toQString(c.thresholdMoney);
    const QString dateFormat = tr("yyyy-MM-dd");
    const QString endText = E.date().toString(dateFormat);
    const QString couponTitle = tr("%1 coupon").arg(money);
    // Server text inside the rich-text brief stays text.
    const QString moneyHtml = money.toHtmlEscaped();
    const QString thresholdHtml = threshold.toHtmlEscaped();

    QString vipText;
    if (G == 0)
        vipText = tr("today(%1)").arg(S.date().toString(dateFormat));
    else if (G > 0)
        vipText = tr("after %1 days").arg(G);
    else
        vipText = tr("%1 days before").arg(-G);

    const bool announced = id == couponId;
    QString title;
    QString brief;
    if (V >= S) {
        // A running membership: the coupon's own end is not looked at.
        title =
            announced ? tr("You have unused coupon!") : tr("You have got a %1!").arg(couponTitle);
        brief = (announced ? tr("coupon_vip_unused%1%2%3%4") : tr("coupon_vip_new%1%2%3%4"))
                    .arg(vipText)
                    .arg(thresholdHtml)
                    .arg(moneyHtml)
                    .arg(endText);
    } else {
        const qint64 D = S.date().daysTo(E.date());
        if (D >= 1) {
            title = announced ? tr("You have unused coupon!")
                              : tr("You have got a %1!").arg(couponTitle);
            brief = (announced ? tr("coupon_not_vip_not_new%1%2%3%4")
                               : tr("coupon_not_vip_new%1%2%3%4"))
                        .arg(vipText)
                        .arg(thresholdHtml)
                        .arg(moneyHtml)
                        .arg(endText);
        } else if (D == 0 && S < E) {
            title = tr("Coupon will expire!");
            brief = tr("coupon_not_vip_last%1%2%3%4")
                        .arg(vipText)
                        .arg(couponTitle.toHtmlEscaped())
                        .arg(thresholdHtml)
                        .arg(moneyHtml);
        } else {
            return false;
        }
    }

    record = Json::Value(Json::objectValue);
    record["title"] = title.toStdString();
    record["brief"] = brief.toStdString();
    record["jmpUrl"] = tidewell::endpoints().userIndex.toStdString();
    couponId = id;
    return true;
}

bool MsgManager::checkCoupon() {
    if (couponChecked)
        return false;
    const QString& uid = UserSession::instance().uid;
    if (uid.isEmpty())
        return false;

    const QString url = tidewell::endpoints().timingCoupon + QStringLiteral("?userId=") +
                        QString::fromLatin1(QUrl::toPercentEncoding(uid));
    QByteArray body;
    const auto fetched = tidewell::fetchServiceBody(url, fetchLimitMs, &body);
    if (fetched == tidewell::FetchResult::Failed)
        return false;
    noteCouponAnswered();
    if (fetched == tidewell::FetchResult::TooLarge)
        return false;

    Json::Value record;
    if (!buildCouponRecord(body.toStdString(), record))
        return false;

    auto* popup = new TidewellCouponMsg;
    const QPointer<QObject> alive(popup);
    popup->setData(record);
    if (!popup->popup()) {
        if (alive)
            delete popup;
        return false;
    }
    noteCouponShown();
    return true;
}
