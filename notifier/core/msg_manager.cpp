#include "core/msg_manager.h"

#include "core/clock.h"
#include "popups/tidewell_base.h"

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
