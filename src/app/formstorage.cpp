#include "formstorage.h"

#include "domain/options.h"
#include "platform/messages.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMetaProperty>
#include <QMetaType>
#include <QRect>
#include <QScreen>
#include <QSettings>
#include <QStringList>
#include <QTableView>
#include <QVariant>

#include <algorithm>
#include <exception>
#include <utility>

namespace {

const QString kFormVersion = QStringLiteral("FormVersion");
const QString kFlags = QStringLiteral("Flags");
const QString kShowCmd = QStringLiteral("ShowCmd");
const QString kPixelsPerInch = QStringLiteral("PixelsPerInch");
const QString kMinMaxPos = QStringLiteral("MinMaxPos");
const QString kNormPos = QStringLiteral("NormPos");
const QString kVisible = QStringLiteral("Visible");
const QString kActiveControl = QStringLiteral("ActiveControl");

// Show states as the placement values record them.
constexpr int ShowNormal = 1;
constexpr int ShowMinimized = 2;
constexpr int ShowMaximized = 3;
// Set in Flags when a minimized window goes back to maximized.
constexpr int RestoreToMaximized = 2;

constexpr int MaxColumnWidth = 10000;

using StoredText::boolText;
using StoredText::parseBool;
using StoredText::parseInt;
using StoredText::parseInts;
using StoredText::readText;

// Stored property names are those of the original controls; these are the Qt
// properties that hold the same thing.
QByteArray qtPropertyName(const char *stored)
{
    const QByteArray name(stored);
    if (name == "Text")
        return "text";
    if (name == "Checked")
        return "checked";
    if (name == "ItemIndex")
        return "currentIndex";
    if (name.isEmpty())
        return name;
    return name.left(1).toLower() + name.mid(1);
}

std::optional<QString> propertyText(const QVariant &value)
{
    if (!value.isValid())
        return std::nullopt;
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return boolText(value.toBool());
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return value.toString();
    default:
        if (value.canConvert<QString>())
            return value.toString();
        return std::nullopt;
    }
}

std::optional<QVariant> propertyValue(const QString &text, QMetaType type)
{
    switch (type.id()) {
    case QMetaType::Bool:
        if (const std::optional<bool> b = parseBool(text))
            return QVariant(*b);
        return std::nullopt;
    case QMetaType::QString:
        return QVariant(text);
    default: {
        // Numbers and the like: the text must convert completely.
        QVariant value(text.trimmed());
        if (!value.convert(type))
            return std::nullopt;
        return value;
    }
    }
}

// The stored rectangle placed on the screens there are now.
std::optional<QRect> rectOnScreen(const QList<int> &edges, const QWidget *window)
{
    QList<QRect> available;
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (const QScreen *screen : screens)
        available.append(screen->availableGeometry());
    const QScreen *own = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    return StoredText::placeOnScreen(
        edges, available, own ? std::optional<QRect>(own->availableGeometry()) : std::nullopt);
}

// The named control nearest to the focus: an editor inside a grid has no name
// of its own, the grid has.
QString focusedControlName(QWidget *window)
{
    for (QWidget *w = window->focusWidget(); w && w != window; w = w->parentWidget()) {
        const QString name = w->objectName();
        if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_")))
            return name;
    }
    return QString();
}

QString settingsFileName()
{
    return QSettings(
        QSettings::IniFormat, QSettings::UserScope, QCoreApplication::applicationName())
        .fileName();
}

} // namespace

FormStorage::FormStorage(QWidget *window, const QString &section, Placement options)
    : QObject(window)
    , m_window(window)
    , m_section(section)
    , m_options(options)
{ }

void FormStorage::addProperty(const QString &valueName, Getter get, Setter set)
{
    m_properties.append({ valueName,
        [get = std::move(get)]() -> std::optional<QString> { return get(); }, std::move(set) });
}

void FormStorage::addProperty(QLineEdit *edit, const QString &controlName)
{
    QPointer<QLineEdit> control(edit);
    m_properties.append({ controlName + QStringLiteral("_Text"),
        [control]() -> std::optional<QString> {
            if (!control)
                return std::nullopt;
            return control->text();
        },
        [control](const QString &text) {
            if (!control)
                return false;
            control->setText(text);
            return true;
        } });
}

void FormStorage::addProperty(QAbstractButton *button, const QString &controlName)
{
    QPointer<QAbstractButton> control(button);
    m_properties.append({ controlName + QStringLiteral("_Checked"),
        [control]() -> std::optional<QString> {
            if (!control)
                return std::nullopt;
            return boolText(control->isChecked());
        },
        [control](const QString &text) {
            const std::optional<bool> checked = parseBool(text);
            if (!control || !checked)
                return false;
            control->setChecked(*checked);
            return true;
        } });
}

void FormStorage::addProperty(QComboBox *box, const QString &controlName)
{
    QPointer<QComboBox> control(box);
    m_properties.append({ controlName + QStringLiteral("_ItemIndex"),
        [control]() -> std::optional<QString> {
            if (!control)
                return std::nullopt;
            return QString::number(control->currentIndex());
        },
        [control](const QString &text) {
            const std::optional<int> index = parseInt(text);
            if (!control || !index || *index < -1 || *index >= control->count())
                return false;
            control->setCurrentIndex(*index);
            return true;
        } });
}

void FormStorage::addProperty(QObject *control, const QString &controlName, const char *property)
{
    if (auto *edit = qobject_cast<QLineEdit *>(control); edit && qstrcmp(property, "Text") == 0)
        return addProperty(edit, controlName);
    if (auto *button = qobject_cast<QAbstractButton *>(control);
        button && qstrcmp(property, "Checked") == 0)
        return addProperty(button, controlName);
    if (auto *box = qobject_cast<QComboBox *>(control); box && qstrcmp(property, "ItemIndex") == 0)
        return addProperty(box, controlName);

    QPointer<QObject> object(control);
    const QByteArray name = qtPropertyName(property);
    m_properties.append({ controlName + QLatin1Char('_') + QString::fromLatin1(property),
        [object, name]() -> std::optional<QString> {
            if (!object)
                return std::nullopt;
            return propertyText(object->property(name.constData()));
        },
        [object, name](const QString &text) {
            if (!object)
                return false;
            const QMetaObject *meta = object->metaObject();
            const int index = meta->indexOfProperty(name.constData());
            const QMetaType type = index >= 0 ? meta->property(index).metaType()
                                              : object->property(name.constData()).metaType();
            if (!type.isValid())
                return false;
            const std::optional<QVariant> value = propertyValue(text, type);
            return value && object->setProperty(name.constData(), *value);
        } });
}

void FormStorage::addIntProperty(
    const QString &valueName, std::function<int()> get, std::function<void(int)> set)
{
    addProperty(
        valueName, [get = std::move(get)] { return QString::number(get()); },
        [set = std::move(set)](const QString &text) {
            const std::optional<int> value = parseInt(text);
            if (!value)
                return false;
            set(*value);
            return true;
        });
}

void FormStorage::addGrid(QTableView *grid, const QString &gridName,
    std::function<QString(int logicalColumn)> fieldOfColumn)
{
    if (!fieldOfColumn) {
        // Without field names the header texts stand in.
        QPointer<QTableView> view(grid);
        fieldOfColumn = [view](int column) {
            const QAbstractItemModel *model = view ? view->model() : nullptr;
            return model ? model->headerData(column, Qt::Horizontal).toString() : QString();
        };
    }
    m_grids.append({ QPointer<QTableView>(grid), gridName, std::move(fieldOfColumn) });
}

void FormStorage::attach()
{
    if (m_window)
        m_window->installEventFilter(this);
}

bool FormStorage::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && !event->spontaneous()) {
        if (event->type() == QEvent::Show) {
            m_shownClass = m_window->metaObject();
            restore();
        } else if (event->type() == QEvent::Hide && m_restored
            && m_window->metaObject() == m_shownClass) {
            m_hiding = true;
            save();
            m_hiding = false;
        }
    }
    return QObject::eventFilter(watched, event);
}

void FormStorage::restore()
{
    m_restored = true;
    if (!m_window)
        return;
    try {
        QSettings store(
            QSettings::IniFormat, QSettings::UserScope, QCoreApplication::applicationName());
        store.beginGroup(m_section);
        if (const std::optional<QString> text = readText(store, kFormVersion)) {
            const std::optional<int> version = parseInt(*text);
            if (version && *version < 0)
                return;
        }
        restorePlacement(store);
        restoreProperties(store);
        store.endGroup();
        for (const Grid &grid : std::as_const(m_grids))
            restoreGrid(store, grid);
    } catch (...) {
        // Whatever was applied stays; the window opens with design values for the rest.
    }
}

void FormStorage::restorePlacement(QSettings &store)
{
    QWidget *window = m_window;
    Qt::WindowStates state = window->windowState();
    bool maximize = state.testFlag(Qt::WindowMaximized);

    if (m_options.testFlag(State)) {
        if (const std::optional<QString> text = readText(store, kShowCmd)) {
            if (const std::optional<int> showCmd = parseInt(*text)) {
                // A window is never brought back minimized: a minimized modal window
                // would block the program with nothing to click on.
                if (*showCmd == ShowMaximized) {
                    maximize = true;
                } else if (*showCmd == ShowMinimized) {
                    const std::optional<int> flags
                        = parseInt(readText(store, kFlags).value_or(QString()));
                    maximize = flags && (*flags & RestoreToMaximized);
                } else {
                    maximize = false;
                }
            }
        }
    }

    std::optional<QRect> normal;
    if (m_options.testFlag(Position)) {
        if (const std::optional<QString> text = readText(store, kNormPos)) {
            if (const std::optional<QList<int>> edges = parseInts(*text, 4))
                normal = rectOnScreen(*edges, window);
        }
    }

    // The normal rectangle goes in while the window is normal, so that
    // maximizing afterwards keeps it as the rectangle to return to.
    if (normal) {
        if (state & (Qt::WindowMaximized | Qt::WindowMinimized)) {
            state &= ~(Qt::WindowMaximized | Qt::WindowMinimized);
            window->setWindowState(state);
        }
        window->setGeometry(*normal);
    }
    if (m_options.testFlag(State) || normal) {
        const Qt::WindowStates wanted
            = maximize ? (state | Qt::WindowMaximized) : (state & ~Qt::WindowMaximized);
        if (wanted != window->windowState())
            window->setWindowState(wanted);
    }

    if (m_options.testFlag(Focus)) {
        if (const std::optional<QString> name = readText(store, kActiveControl);
            name && !name->isEmpty()) {
            QWidget *control = window->findChild<QWidget *>(*name);
            if (control && control->isEnabled() && control->focusPolicy() != Qt::NoFocus)
                control->setFocus(Qt::OtherFocusReason);
        }
    }
}

void FormStorage::restoreProperties(QSettings &store)
{
    for (const Property &property : std::as_const(m_properties)) {
        const std::optional<QString> text = readText(store, property.valueName);
        if (!text)
            continue;
        try {
            property.set(*text);
        } catch (...) {
            // The value is skipped like any other that does not fit.
        }
    }
}

void FormStorage::restoreGrid(QSettings &store, const Grid &grid)
{
    if (!grid.view)
        return;
    QHeaderView *header = grid.view->horizontalHeader();
    const int count = header->count();
    if (count == 0)
        return;

    struct Column
    {
        int logical;
        int position;
        int width;
    };
    QList<Column> columns;
    const QString prefix = grid.name + QLatin1Char('.');

    store.beginGroup(m_section + grid.name);
    const QStringList keys = store.childKeys();
    for (const QString &key : keys) {
        if (!key.startsWith(prefix, Qt::CaseInsensitive))
            continue;
        const QString field = key.mid(prefix.size());
        int logical = -1;
        for (int c = 0; c < count && logical < 0; ++c) {
            if (grid.fieldOfColumn(c).compare(field, Qt::CaseInsensitive) == 0)
                logical = c;
        }
        if (logical < 0)
            continue;
        const std::optional<QString> text = readText(store, key);
        const std::optional<QList<int>> numbers = text ? parseInts(*text, 2) : std::nullopt;
        if (!numbers || numbers->at(0) < 0)
            continue;
        columns.append({ logical, std::min(numbers->at(0), count - 1), numbers->at(1) });
    }
    store.endGroup();

    // Placed from the first position on, each move leaves the columns already
    // placed where they are.
    std::stable_sort(columns.begin(), columns.end(),
        [](const Column &a, const Column &b) { return a.position < b.position; });
    for (const Column &column : std::as_const(columns)) {
        const int from = header->visualIndex(column.logical);
        if (from != column.position)
            header->moveSection(from, column.position);
        if (column.width > 0 && column.width <= MaxColumnWidth)
            header->resizeSection(column.logical, column.width);
    }
}

void FormStorage::save()
{
    if (!m_restored || !m_window)
        return;
    QString problem;
    QString file;
    try {
        QSettings store(
            QSettings::IniFormat, QSettings::UserScope, QCoreApplication::applicationName());
        file = store.fileName();
        store.beginGroup(m_section);
        store.setValue(kFormVersion, QStringLiteral("0"));
        savePlacement(store);
        saveProperties(store);
        store.endGroup();
        for (const Grid &grid : std::as_const(m_grids))
            saveGrid(store, grid);
        store.sync();
        // A format error is left over from reading a damaged file, which the
        // write has just replaced; only a failed write is a problem.
        if (store.status() == QSettings::AccessError)
            problem = QStringLiteral("Could not save the settings to %1.")
                          .arg(QDir::toNativeSeparators(file));
    } catch (const std::exception &error) {
        problem = QStringLiteral("Could not save the settings to %1: %2")
                      .arg(QDir::toNativeSeparators(file.isEmpty() ? settingsFileName() : file),
                          QString::fromLocal8Bit(error.what()));
    } catch (...) {
        problem = QStringLiteral("Could not save the settings to %1.")
                      .arg(QDir::toNativeSeparators(file.isEmpty() ? settingsFileName() : file));
    }
    if (!problem.isEmpty())
        Messages::current().error(problem);
}

void FormStorage::savePlacement(QSettings &store)
{
    QWidget *window = m_window;
    const Qt::WindowStates state = window->windowState();
    const bool minimized = state.testFlag(Qt::WindowMinimized);
    const bool maximized = state.testFlag(Qt::WindowMaximized);
    const int showCmd = minimized ? ShowMinimized : maximized ? ShowMaximized : ShowNormal;

    store.setValue(kFlags, QString::number(minimized && maximized ? RestoreToMaximized : 0));
    store.setValue(kShowCmd, QString::number(showCmd));
    store.setValue(kPixelsPerInch, QString::number(window->logicalDpiY()));
    store.setValue(kMinMaxPos, QStringLiteral("-1,-1,-1,-1"));
    QRect normal = window->normalGeometry();
    if (!normal.isValid() && !maximized && !minimized)
        normal = window->geometry();
    if (normal.isValid()) {
        store.setValue(kNormPos,
            QStringLiteral("%1,%2,%3,%4")
                .arg(normal.x())
                .arg(normal.y())
                .arg(normal.x() + normal.width())
                .arg(normal.y() + normal.height()));
    }
    // Saved on the way out, the window still counts as shown.
    store.setValue(
        kVisible, window->isVisible() || m_hiding ? QStringLiteral("1") : QStringLiteral("0"));
    if (m_options.testFlag(Focus))
        store.setValue(kActiveControl, focusedControlName(window));
}

void FormStorage::saveProperties(QSettings &store)
{
    for (const Property &property : std::as_const(m_properties)) {
        if (const std::optional<QString> text = property.get())
            store.setValue(property.valueName, *text);
    }
}

void FormStorage::saveGrid(QSettings &store, const Grid &grid)
{
    if (!grid.view)
        return;
    store.beginGroup(m_section + grid.name);
    store.remove(QString());
    const QHeaderView *header = grid.view->horizontalHeader();
    for (int logical = 0; logical < header->count(); ++logical) {
        const QString field = grid.fieldOfColumn(logical);
        if (field.isEmpty())
            continue;
        store.setValue(grid.name + QLatin1Char('.') + field,
            QStringLiteral("%1,%2")
                .arg(header->visualIndex(logical))
                .arg(header->sectionSize(logical)));
    }
    store.endGroup();
}
