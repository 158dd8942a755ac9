#include "layers_dialog.h"

#include <QApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTimer>

#include <functional>

using namespace DrawingViewLib;

namespace {

constexpr int ItemHeight = 13;
constexpr int CheckWidth = 16; // the list's own check box, left of each entry
constexpr int LayerRole = Qt::UserRole + 1;

// Right edge 0 means "never closed in this run": centre on the main window.
QRect g_bounds;
std::function<void(TfmLayers&)> g_shownHook;

QColor fromColorRef(uint32_t value) {
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

WordBool toWordBool(bool value) {
    return value ? WordTrue : WordFalse;
}

// Paints one entry as the check list box did: the check box, then in the rest
// a swatch in the layer's colour and the name.
class LayerItemDelegate : public QStyledItemDelegate {
public:
    LayerItemDelegate(TfmLayers* form, QObject* parent)
        : QStyledItemDelegate(parent), m_form(form) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        return QSize(option.rect.width(), std::max(ItemHeight, option.fontMetrics.height()));
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const auto* list = qobject_cast<const QListWidget*>(option.widget);
        if (!list || index.row() >= list->count())
            return;
        const QPalette& pal = option.palette;
        const bool selected = option.state & QStyle::State_Selected;
        const bool focused = option.state & QStyle::State_HasFocus;

        // The check box.
        const QRect box(option.rect.left(), option.rect.top(), CheckWidth, option.rect.height());
        painter->fillRect(box, pal.color(QPalette::Base));
        QStyleOptionButton check;
        const int side = std::min(CheckWidth - 3, option.rect.height() - 1);
        check.rect = QRect(box.left() + (CheckWidth - side) / 2,
                           box.top() + (box.height() - side) / 2, side, side);
        check.state = QStyle::State_Enabled |
                      (index.data(Qt::CheckStateRole).toInt() == Qt::Checked ? QStyle::State_On
                                                                             : QStyle::State_Off);
        QApplication::style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &check, painter, list);

        const QRect r = option.rect.adjusted(CheckWidth, 0, 0, 0);
        painter->save();
        // Clear the entry with the list's brush.
        painter->setPen(pal.color(QPalette::Base));
        painter->setBrush(selected ? pal.color(QPalette::Highlight) : pal.color(QPalette::Base));
        painter->drawRect(r.adjusted(0, 0, -1, -1));
        // The swatch.
        painter->setPen(pal.color(QPalette::WindowText));
        const auto layer = m_form->layerAt(index.row());
        painter->setBrush(layer ? fromColorRef(layer->LayerColor()) : QColor(Qt::white));
        painter->drawRect(
            QRect(QPoint(r.left(), r.top() + 2), QPoint(r.left() + 15, r.bottom() - 2)));
        // The name on its own background: highlighted for any state.
        const bool marked = selected || focused;
        const QString text = index.data(Qt::DisplayRole).toString();
        const QRect textRect(r.left() + 24, r.top(), option.fontMetrics.horizontalAdvance(text),
                             r.height());
        painter->fillRect(textRect,
                          marked ? pal.color(QPalette::Highlight) : pal.color(QPalette::Base));
        painter->setPen(marked ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::Text));
        painter->setFont(option.font);
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, text);
        painter->restore();
    }

    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override {
        if (!(index.flags() & Qt::ItemIsUserCheckable))
            return false;
        const auto toggle = [&] {
            const bool checked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
            model->setData(index, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
            return true;
        };
        switch (event->type()) {
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton &&
                mouse->position().x() < option.rect.left() + CheckWidth)
                return toggle();
            return false;
        }
        case QEvent::MouseButtonDblClick: // a double click on the name toggles too
            return toggle();
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Space || key == Qt::Key_Select)
                return toggle();
            return false;
        }
        default:
            return false;
        }
    }

private:
    TfmLayers* m_form;
};

} // namespace

TfmLayers::TfmLayers(std::shared_ptr<IDXFImage> drawing, IDrawingView* control, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      m_drawing(std::move(drawing)), m_control(control) {
    setObjectName(QStringLiteral("fmLayers"));
    setWindowTitle(QStringLiteral("Layers"));
    QFont f = font();
    f.setPixelSize(11);
    setFont(f);
    resize(361, 458);
    setMinimumSize(300, 200);

    clbLayers = new QListWidget(this);
    clbLayers->setObjectName(QStringLiteral("clbLayers"));
    clbLayers->setGeometry(7, 10, 342, 400);
    clbLayers->setUniformItemSizes(true);
    clbLayers->setItemDelegate(new LayerItemDelegate(this, clbLayers));
    clbLayers->installEventFilter(this);

    btnSwitch = new QPushButton(switchCaption(1), this);
    btnSwitch->setObjectName(QStringLiteral("btnSwitch"));
    btnSwitch->setProperty("tag", 1);
    btnSwitch->setAutoDefault(false);
    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setAutoDefault(false);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);

    connect(clbLayers, &QListWidget::itemChanged, this, [this] {
        if (!m_filling)
            clbLayersClickCheck();
    });
    connect(btnSwitch, &QPushButton::clicked, this, [this] { btnSwitchClick(); });
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TfmLayers::~TfmLayers() = default;

QString TfmLayers::switchCaption(int tag) {
    return tag == 0 ? QStringLiteral("Select ALL") : QStringLiteral("Unselect ALL");
}

int TfmLayers::switchTag() const {
    return btnSwitch->property("tag").toInt();
}

void TfmLayers::addLayer(const std::shared_ptr<ILayer>& layer) {
    m_filling = true;
    auto* item = new QListWidgetItem(layer->Name());
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setData(LayerRole, int(m_layers.size()));
    item->setCheckState(layer->Visible() != 0 ? Qt::Checked : Qt::Unchecked);
    m_layers.push_back(layer);
    clbLayers->addItem(item);
    m_filling = false;
}

std::shared_ptr<ILayer> TfmLayers::layerAt(int index) const {
    if (index < 0 || index >= int(m_layers.size()))
        return nullptr;
    return m_layers[size_t(index)];
}

void TfmLayers::clbLayersClickCheck() {
    for (int i = 0; i < clbLayers->count(); ++i) {
        const bool checked = clbLayers->item(i)->checkState() == Qt::Checked;
        const auto& layer = m_layers[size_t(i)];
        if ((layer->Visible() != 0) != checked)
            layer->setVisible(toWordBool(checked));
    }
    m_control->RefreshView();
}

void TfmLayers::btnSwitchClick() {
    const int tag = switchTag() ^ 1;
    btnSwitch->setProperty("tag", tag);
    btnSwitch->setText(switchCaption(tag));
    m_filling = true;
    for (int i = 0; i < clbLayers->count(); ++i) {
        clbLayers->item(i)->setCheckState(tag == 1 ? Qt::Checked : Qt::Unchecked);
        m_layers[size_t(i)]->setVisible(toWordBool(tag == 1));
    }
    m_filling = false;
    clbLayersClickCheck();
}

void TfmLayers::keyPressEvent(QKeyEvent* event) {
    // The form sees keys first: Esc anywhere cancels.
    if (event->key() == Qt::Key_Escape) {
        reject();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TfmLayers::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Escape) {
            reject();
            return true;
        }
        if (watched == clbLayers && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
            accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfmLayers::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    // Anchors: the list follows all four sides, the buttons the bottom, OK and
    // Cancel the right edge.
    const int w = width();
    const int h = height();
    clbLayers->setGeometry(7, 10, w - 19, h - 58);
    btnSwitch->setGeometry(13, h - 35, 80, 23);
    btnOK->setGeometry(w - 188, h - 35, 80, 23);
    btnCancel->setGeometry(w - 94, h - 35, 80, 23);
}

bool ShowLayersDialog(const std::shared_ptr<IDXFImage>& drawing, IDrawingView* control) {
    if (!drawing)
        return false;
    QWidget* owner = control ? control->widget()->window() : nullptr;
    auto form = std::make_unique<TfmLayers>(drawing, control, owner);
    if (!g_bounds.isNull()) {
        form->setGeometry(g_bounds);
    } else if (owner) {
        QRect r(QPoint(), form->size());
        r.moveCenter(owner->geometry().center());
        form->setGeometry(r);
    }

    const auto converter = drawing->Converter();
    const int n = converter ? converter->Count(CountLayers) : 0;
    for (int i = 0; i < n; ++i) {
        if (const auto layer = converter->Layers(i))
            form->addLayer(layer);
    }
    if (form->clbLayers->count() > 0)
        form->clbLayers->setCurrentRow(0);

    std::vector<WordBool> saved;
    for (int j = 0; j < n; ++j) {
        const auto layer = converter->Layers(j);
        saved.push_back(layer ? layer->Visible() : WordFalse);
    }

    if (g_shownHook) {
        auto hook = g_shownHook;
        QTimer::singleShot(0, form.get(), [hook, f = form.get()] { hook(*f); });
    }
    const int result = form->exec();

    g_bounds = form->geometry();
    if (result == QDialog::Accepted)
        return true;
    // Only the layers the snapshot knows about; a converter that grew or
    // shrank meanwhile must not be read past its end.
    const int count = std::min(converter ? converter->Count(CountLayers) : 0, int(saved.size()));
    for (int index = 0; index < count; ++index) {
        if (const auto layer = converter->Layers(index))
            layer->setVisible(saved[size_t(index)] != 0 ? WordTrue : WordFalse);
    }
    if (control)
        control->widget()->update();
    return false;
}

void setLayersDialogShownHook(std::function<void(TfmLayers&)> hook) {
    g_shownHook = std::move(hook);
}

QRect layersDialogBounds() {
    return g_bounds;
}

void resetLayersDialogBounds() {
    g_bounds = QRect();
}
