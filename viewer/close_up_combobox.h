#pragma once

#include <QComboBox>

// A drop-down list that tells when its list closes, however it closes (a pick,
// Esc, a click elsewhere), also when the selection did not change.
class TCloseUpComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TCloseUpComboBox(QWidget* parent = nullptr);

    void showPopup() override;
    void hidePopup() override;

signals:
    // Emitted after the list has closed and a picked item has become current.
    void closeUp();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void listClosed();

    bool m_listOpen = false;
    QWidget* m_watchedContainer = nullptr;
};
