#pragma once

#include <QDate>
#include <QObject>
#include <QString>

#include <memory>
#include <string>

namespace Json {
class Value;
}

class QSettings;
class TidewellBase;

// Runs the notifier's one check per start and keeps, between runs, how often it may still ask
// today and what it has already shown. Every change of state is written at once: the program
// may end right after the check.
class MsgManager : public QObject {
    Q_OBJECT

public:
    explicit MsgManager(QObject* parent = nullptr);
    ~MsgManager() override;

    static constexpr quint32 kChecksPerDay = 2;
    static constexpr quint32 kNoId = 0xFFFFFFFFu;

    // The run's one check: the message first, the coupon only when no message was shown.
    // True exactly when a popup is on the screen.
    bool start();
    bool checkMessage();
    bool checkCoupon();
    // Decides from a coupon reply which reminder is due. True with `record` filled and
    // couponId (in memory only) set to the coupon's id; false leaves `record` untouched.
    bool buildCouponRecord(const std::string& reply, Json::Value& record);

    // A new calendar day (either clock direction) restores the day's budget.
    void applyRollover();

    // The table of writes: each changes the field and its stored value together.
    void noteMessageAnswered();
    void noteMessageShown(quint32 id);
    void noteCouponAnswered();
    void noteCouponShown();

    // Where the state lives: the registry key on Windows, an INI file elsewhere.
    static QString settingsLocation();

    std::unique_ptr<QSettings> settings;
    QDate date;
    quint32 avaTimes = 0;
    quint32 lastId = kNoId;
    QString couponId;
    bool couponChecked = false;
    TidewellBase* keptPopup = nullptr;
    // How long each service request may take before it counts as a network error; tests
    // shorten it.
    int fetchLimitMs;

private:
    void loadState();
    quint32 readNumber(const QString& key);
    void write(const QString& key, const QVariant& value);
};
