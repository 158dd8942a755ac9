#include "close_up_combobox.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QTimer>

TCloseUpComboBox::TCloseUpComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
}

void TCloseUpComboBox::showPopup() {
    QComboBox::showPopup();
    // The list's window closes on its own on an outside click, without
    // hidePopup(); watch it too.
    QWidget* container = view() ? view()->window() : nullptr;
    if (container && container != this->window() && container != m_watchedContainer) {
        if (m_watchedContainer)
            m_watchedContainer->removeEventFilter(this);
        m_watchedContainer = container;
        container->installEventFilter(this);
    }
    m_listOpen = true;
}

void TCloseUpComboBox::hidePopup() {
    QComboBox::hidePopup();
    listClosed();
}

bool TCloseUpComboBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_watchedContainer && event->type() == QEvent::Hide)
        listClosed();
    return QComboBox::eventFilter(watched, event);
}

void TCloseUpComboBox::listClosed() {
    if (!m_listOpen)
        return;
    m_listOpen = false;
    // A click on an item closes the list before the item becomes current;
    // report the close once the pick has landed.
    QTimer::singleShot(0, this, &TCloseUpComboBox::closeUp);
}
