#pragma once

#include <QFlags>
#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class QAbstractButton;
class QComboBox;
class QEvent;
class QLineEdit;
class QSettings;
class QTableView;

// Remembers one window between runs: its placement, a list of named control
// properties and the column layout of its grids, all as text values in the
// user's settings file (INI, named after the program).
//
// The window's values live in a section named after the window class; each
// grid has its own section, window class followed by grid name. Values that
// cannot be applied are skipped and the rest still applied, so a hand-edited
// file never keeps a window from opening.
class FormStorage : public QObject
{
    Q_OBJECT
public:
    enum PlacementOption {
        State = 0x1, // maximized or normal
        Position = 0x2, // the normal rectangle
        Focus = 0x4, // the control that had the focus
    };
    Q_DECLARE_FLAGS(Placement, PlacementOption)

    using Getter = std::function<QString()>;
    // Returns false when the stored text does not fit the property.
    using Setter = std::function<bool(const QString &)>;

    // The component becomes a child of the window.
    FormStorage(QWidget *window, const QString &section, Placement options);

    // A value named valueName, read and written through the given functions.
    void addProperty(const QString &valueName, Getter get, Setter set);
    // controlName + "_Text"
    void addProperty(QLineEdit *edit, const QString &controlName);
    // controlName + "_Checked", "True" or "False"
    void addProperty(QAbstractButton *button, const QString &controlName);
    // controlName + "_ItemIndex"; an index outside the list is not applied
    void addProperty(QComboBox *box, const QString &controlName);
    // controlName + "_" + property, where property is the stored name: "Text",
    // "Checked" and "ItemIndex" stand for text, checked and currentIndex, any
    // other name for the Qt property of the same name starting in lower case
    // ("InitialDir" -> initialDir).
    void addProperty(QObject *control, const QString &controlName, const char *property);
    // A whole number in decimal, e.g. a panel's height.
    void addIntProperty(
        const QString &valueName, std::function<int()> get, std::function<void(int)> set);

    // One value per column, gridName + "." + the column's field name, holding
    // "position,width". Columns for which fieldOfColumn gives an empty name are
    // not stored; without fieldOfColumn the header texts are the names.
    void addGrid(QTableView *grid, const QString &gridName,
        std::function<QString(int logicalColumn)> fieldOfColumn);

    // Reads and applies everything stored; never throws.
    void restore();
    // Writes everything, only after a restore in this run. Failures are shown
    // as an error message; they never throw.
    void save();
    bool restored() const { return m_restored; }

    // Restores each time the window is shown and saves each time it is hidden
    // (a dialog's done(), a close the window allowed). Shows and hides that
    // come from the window system (minimizing) are ignored, and so is the hide
    // of a window being destroyed, whose members are already gone. The window
    // class needs Q_OBJECT for that last check.
    void attach();

    QString section() const { return m_section; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Property
    {
        QString valueName;
        std::function<std::optional<QString>()> get; // nullopt: nothing to write
        Setter set;
    };
    struct Grid
    {
        QPointer<QTableView> view;
        QString name;
        std::function<QString(int)> fieldOfColumn;
    };

    void restorePlacement(QSettings &store);
    void restoreProperties(QSettings &store);
    void restoreGrid(QSettings &store, const Grid &grid);
    void savePlacement(QSettings &store);
    void saveProperties(QSettings &store);
    void saveGrid(QSettings &store, const Grid &grid);

    QPointer<QWidget> m_window;
    QString m_section;
    Placement m_options;
    QList<Property> m_properties;
    QList<Grid> m_grids;
    bool m_restored = false;
    bool m_hiding = false;
    const QMetaObject *m_shownClass = nullptr;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(FormStorage::Placement)
