// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/control_access.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <algorithm>
#include <map>

#include "controls/bitmap_slider.h"
#include "controls/grid_row.h"
#include "controls/month_calendar.h"
#include "controls/skin_button.h"
#include "controls/skin_slider_button.h"

namespace velmaro {
namespace {

// A control without a name of its own is known by what its tooltip says.
QString NameOf(const QWidget* widget, const QString& fallback) {
    if (!widget->accessibleName().isEmpty()) {
        return widget->accessibleName();
    }
    return fallback.isEmpty() ? widget->toolTip() : fallback;
}

class ButtonAccess : public QAccessibleWidget {
  public:
    explicit ButtonAccess(SkinButton* button) : QAccessibleWidget(button, RoleOf(button)) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) {
            return NameOf(Button(), Button()->text());
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        if (role() != QAccessible::Button) {
            s.checkable = true;
            s.checked = Button()->GetCheck() || Button()->isChecked();
        }
        s.pressed = Button()->isDown();
        return s;
    }

    QStringList actionNames() const override {
        if (!Button()->isEnabled()) {
            return {};
        }
        return {role() == QAccessible::Button ? pressAction() : toggleAction()};
    }

    void doAction(const QString& name) override {
        if (!Button()->isEnabled()) {
            return;
        }
        if (name == pressAction() || name == toggleAction()) {
            // As the keyboard does: the check follows, then the owner hears the click.
            Button()->setFocus(Qt::OtherFocusReason);
            if (Button()->GetMode() == SkinButton::Mode::kCheck) {
                Button()->SetCheck(!Button()->GetCheck());
            } else if (Button()->GetMode() == SkinButton::Mode::kRadio) {
                Button()->SetCheck(true);
            }
            Button()->click();
        }
    }

  private:
    static QAccessible::Role RoleOf(const SkinButton* button) {
        switch (button->GetMode()) {
            case SkinButton::Mode::kCheck:
                return QAccessible::CheckBox;
            case SkinButton::Mode::kRadio:
                return QAccessible::RadioButton;
            default:
                return button->isCheckable() ? QAccessible::CheckBox : QAccessible::Button;
        }
    }
    SkinButton* Button() const { return static_cast<SkinButton*>(widget()); }
};

// SkinSliderButton and BitmapSlider share no base but the calls a slider needs.
template <class Slider>
class SliderAccess : public QAccessibleWidget, public QAccessibleValueInterface {
  public:
    explicit SliderAccess(Slider* slider) : QAccessibleWidget(slider, QAccessible::Slider) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) {
            return static_cast<QAccessibleValueInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) {
            return NameOf(widget(), QString());
        }
        if (t == QAccessible::Value) {
            return QString::number(Control()->GetPos());
        }
        return QAccessibleWidget::text(t);
    }

    QVariant currentValue() const override { return Control()->GetPos(); }
    void setCurrentValue(const QVariant& value) override { Control()->StepTo(value.toInt()); }
    QVariant maximumValue() const override {
        return std::max(Control()->Minimum(), Control()->Maximum());
    }
    QVariant minimumValue() const override {
        return std::min(Control()->Minimum(), Control()->Maximum());
    }
    QVariant minimumStepSize() const override { return 1; }

  private:
    Slider* Control() const { return static_cast<Slider*>(widget()); }
};

// One cell of a table below; it lives as long as its table's interface and is valid while the
// table's control still has the cell.
class CellAccess : public QAccessibleInterface, public QAccessibleTableCellInterface {
  public:
    CellAccess(QAccessibleInterface* table, QWidget* control, int row, int column)
        : table_(table), control_(control), row_(row), column_(column) {}

    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return table_->window(); }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override { return table_; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::Cell; }
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::TableCellInterface
                   ? static_cast<QAccessibleTableCellInterface*>(this)
                   : nullptr;
    }

    bool isSelected() const override;
    QList<QAccessibleInterface*> columnHeaderCells() const override { return {}; }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return column_; }
    int rowIndex() const override { return row_; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return table_; }

  private:
    QAccessibleInterface* table_;
    QPointer<QWidget> control_;
    int row_;
    int column_;
};

// A control drawn as a grid of cells. The control's child widgets (the calendar's year and
// month lists) come first among the children, the cells after them in row-major order.
class TableAccess : public QAccessibleWidget, public QAccessibleTableInterface {
  public:
    explicit TableAccess(QWidget* control) : QAccessibleWidget(control, QAccessible::Table) {}
    ~TableAccess() override {
        for (const auto& [index, id] : cells_) {
            QAccessible::deleteAccessibleInterface(id);
        }
    }

    virtual int Rows() const = 0;
    virtual int Columns() const = 0;
    virtual QString CellName(int row, int column) const = 0;
    virtual QRect CellRect(int row, int column) const = 0;  // in the control's coordinates
    virtual bool CellSelected(int row, int column) const = 0;
    bool HasCell(int row, int column) const {
        return row >= 0 && column >= 0 && row < Rows() && column < Columns();
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TableInterface) {
            return static_cast<QAccessibleTableInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name ? NameOf(widget(), QString()) : QAccessibleWidget::text(t);
    }

    int childCount() const override { return QAccessibleWidget::childCount() + Rows() * Columns(); }
    QAccessibleInterface* child(int index) const override {
        const int widgets = QAccessibleWidget::childCount();
        if (index < widgets) {
            return QAccessibleWidget::child(index);
        }
        const int cell = index - widgets;
        return Columns() > 0 ? cellAt(cell / Columns(), cell % Columns()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (const auto* cell = dynamic_cast<const CellAccess*>(child)) {
            return QAccessibleWidget::childCount() + cell->rowIndex() * Columns() +
                   cell->columnIndex();
        }
        return QAccessibleWidget::indexOfChild(child);
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        const QPoint local = widget()->mapFromGlobal(QPoint(x, y));
        for (int row = 0; row < Rows(); ++row) {
            for (int column = 0; column < Columns(); ++column) {
                if (CellRect(row, column).contains(local)) {
                    return cellAt(row, column);
                }
            }
        }
        return QAccessibleWidget::childAt(x, y);
    }

    QAccessibleInterface* cellAt(int row, int column) const override {
        if (!HasCell(row, column)) {
            return nullptr;
        }
        const int index = row * kGridMaxColumns + column;
        const auto found = cells_.find(index);
        if (found != cells_.end()) {
            return QAccessible::accessibleInterface(found->second);
        }
        auto* self = const_cast<TableAccess*>(this);
        auto* cell = new CellAccess(self, widget(), row, column);
        cells_[index] = QAccessible::registerAccessibleInterface(cell);
        return cell;
    }
    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QString columnDescription(int) const override { return QString(); }
    QString rowDescription(int) const override { return QString(); }
    int columnCount() const override { return Columns(); }
    int rowCount() const override { return Rows(); }
    int selectedCellCount() const override { return static_cast<int>(selectedCells().size()); }
    QList<QAccessibleInterface*> selectedCells() const override {
        QList<QAccessibleInterface*> cells;
        for (int row = 0; row < Rows(); ++row) {
            for (int column = 0; column < Columns(); ++column) {
                if (CellSelected(row, column)) {
                    cells.push_back(cellAt(row, column));
                }
            }
        }
        return cells;
    }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return 0; }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override { return {}; }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int) const override { return false; }
    bool selectRow(int) override { return false; }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent*) override {}

  private:
    mutable std::map<int, QAccessible::Id> cells_;
};

bool CellAccess::isValid() const {
    const auto* table = dynamic_cast<const TableAccess*>(table_);
    return !control_.isNull() && table != nullptr && table->HasCell(row_, column_);
}

QString CellAccess::text(QAccessible::Text t) const {
    if (t != QAccessible::Name || !isValid()) {
        return QString();
    }
    return static_cast<const TableAccess*>(table_)->CellName(row_, column_);
}

QRect CellAccess::rect() const {
    if (!isValid()) {
        return QRect();
    }
    const QRect local = static_cast<const TableAccess*>(table_)->CellRect(row_, column_);
    return QRect(control_->mapToGlobal(local.topLeft()), local.size());
}

QAccessible::State CellAccess::state() const {
    QAccessible::State s;
    s.selectable = true;
    s.selected = isSelected();
    s.invisible = !isValid() || control_->isHidden();
    return s;
}

bool CellAccess::isSelected() const {
    return isValid() && static_cast<const TableAccess*>(table_)->CellSelected(row_, column_);
}

class GridAccess : public TableAccess {
  public:
    explicit GridAccess(GridRow* grid) : TableAccess(grid) {}

    int Rows() const override { return Grid()->ColumnCount() > 0 ? 1 : 0; }
    int Columns() const override { return Grid()->ColumnCount(); }
    QString CellName(int, int column) const override { return Grid()->CellName(column); }
    QRect CellRect(int, int column) const override { return Grid()->CellRect(column); }
    bool CellSelected(int, int column) const override { return Grid()->SelectedCell() == column; }

  private:
    GridRow* Grid() const { return static_cast<GridRow*>(widget()); }
};

class CalendarAccess : public TableAccess {
  public:
    explicit CalendarAccess(MonthCalendar* calendar) : TableAccess(calendar) {}

    int Rows() const override { return kCalendarRows; }
    int Columns() const override { return kCalendarColumns; }
    QString CellName(int row, int column) const override {
        return Calendar()->CellName(Index(row, column));
    }
    QRect CellRect(int row, int column) const override {
        return CalendarCellRect(Calendar()->Geometry(), Index(row, column));
    }
    bool CellSelected(int row, int column) const override {
        return Calendar()->Layout().selected == Index(row, column);
    }

  private:
    static int Index(int row, int column) { return row * kCalendarColumns + column; }
    MonthCalendar* Calendar() const { return static_cast<MonthCalendar*>(widget()); }
};

// Most derived classes first: a slider button is a skin button too.
QAccessibleInterface* ControlAccessFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("velmaro::SkinSliderButton")) {
        return new SliderAccess<SkinSliderButton>(static_cast<SkinSliderButton*>(object));
    }
    if (className == QLatin1String("velmaro::SkinButton")) {
        return new ButtonAccess(static_cast<SkinButton*>(object));
    }
    if (className == QLatin1String("velmaro::BitmapSlider")) {
        return new SliderAccess<BitmapSlider>(static_cast<BitmapSlider*>(object));
    }
    if (className == QLatin1String("velmaro::GridRow")) {
        return new GridAccess(static_cast<GridRow*>(object));
    }
    if (className == QLatin1String("velmaro::MonthCalendar")) {
        return new CalendarAccess(static_cast<MonthCalendar*>(object));
    }
    return nullptr;
}

}  // namespace

void AnnounceCell(QWidget* table, int row, int column) {
    if (!QAccessible::isActive()) {
        return;
    }
    QAccessibleInterface* access = QAccessible::queryAccessibleInterface(table);
    QAccessibleTableInterface* cells = access != nullptr ? access->tableInterface() : nullptr;
    QAccessibleInterface* cell = cells != nullptr ? cells->cellAt(row, column) : nullptr;
    if (cell == nullptr) {
        return;
    }
    QAccessibleEvent focus(table, QAccessible::Focus);
    focus.setChild(access->indexOfChild(cell));
    QAccessible::updateAccessibility(&focus);
}

void AnnounceValue(QWidget* slider, int value) {
    if (!QAccessible::isActive()) {
        return;
    }
    QAccessibleValueChangeEvent change(slider, value);
    QAccessible::updateAccessibility(&change);
}

void InstallControlAccess() {
    static const bool installed = [] {
        QAccessible::installFactory(ControlAccessFactory);
        return true;
    }();
    (void)installed;
}

}  // namespace velmaro
