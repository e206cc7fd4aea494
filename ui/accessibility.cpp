#include "ui/accessibility.h"

#include "ui/message_dialog.h"

#include <QAccessibleWidget>
#include <QListWidget>
#include <QPointer>
#include <QTabBar>
#include <QTabWidget>
#include <QWindow>

#include <map>

namespace {

constexpr char kPagesOnly[] = "vornikPagesOnly";
// The hook's object name; it has no meta-object of its own for qobject_cast to tell it by.
constexpr char kTickHook[] = "vornikTickHook";

// A page container as a plain grouping of its pages. Qt would add its tab bar as a tab list of
// tabs named by the pages' object names, with two scroll buttons, though nobody can see them.
class PageContainer : public QAccessibleWidget {
public:
    explicit PageContainer(QWidget *tabs)
        : QAccessibleWidget(tabs)
    { }

    int childCount() const override { return int(pages().size()); }
    QAccessibleInterface *child(int index) const override
    {
        const QList<QWidget *> shown = pages();
        return index >= 0 && index < shown.size()
            ? QAccessible::queryAccessibleInterface(shown[index])
            : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child ? int(pages().indexOf(qobject_cast<QWidget *>(child->object()))) : -1;
    }

private:
    QList<QWidget *> pages() const
    {
        QList<QWidget *> shown;
        for (QObject *object : widget()->children()) {
            auto *child = qobject_cast<QWidget *>(object);
            if (child && !child->isWindow() && !qobject_cast<QTabBar *>(child))
                shown.append(child);
        }
        return shown;
    }
};

class TickEntry;

// Lives as a child of its checklist: knows the entries' interfaces, drops them before their
// lines go, and tells listeners of every change of a tick.
class TickHook : public QObject {
public:
    TickHook(QListWidget *list, std::function<void(QListWidgetItem *)> toggle)
        : QObject(list)
        , list_(list)
        , toggle_(std::move(toggle))
    {
        setObjectName(QLatin1String(kTickHook));
        QAbstractItemModel *model = list->model();
        connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &, int first, int last) {
                for (int row = first; row <= last; ++row)
                    forget(list_->item(row));
            });
        connect(model, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
            while (!entries_.empty())
                forget(entries_.begin()->first);
        });
        connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight,
                const QList<int> &roles) {
                if (!QAccessible::isActive()
                    || (!roles.isEmpty() && !roles.contains(Qt::CheckStateRole)))
                    return;
                QAccessible::State changed;
                changed.checked = true;
                for (int row = topLeft.row(); row <= bottomRight.row(); ++row) {
                    QAccessibleStateChangeEvent event(list_, changed);
                    event.setChild(row);
                    QAccessible::updateAccessibility(&event);
                }
            });
    }
    ~TickHook() override
    {
        while (!entries_.empty())
            forget(entries_.begin()->first);
    }

    QListWidget *list() const { return list_; }
    bool knows(QListWidgetItem *item) const { return entries_.count(item) != 0; }
    void toggle(QListWidgetItem *item) const { toggle_(item); }
    QAccessibleInterface *entry(QListWidgetItem *item);

private:
    void forget(QListWidgetItem *item)
    {
        const auto found = entries_.find(item);
        if (found == entries_.end())
            return;
        const QAccessible::Id id = found->second;
        entries_.erase(found);
        QAccessible::deleteAccessibleInterface(id);
    }

    QListWidget *list_;
    std::function<void(QListWidgetItem *)> toggle_;
    std::map<QListWidgetItem *, QAccessible::Id> entries_;
};

// One line of the checklist: its text, its tick, and "Toggle" that ticks it.
class TickEntry : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    TickEntry(TickHook *hook, QListWidgetItem *item)
        : hook_(hook)
        , item_(item)
    { }

    bool isValid() const override { return hook_ && hook_->knows(item_); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override
    {
        return isValid() ? hook_->list()->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *parent() const override
    {
        return hook_ ? QAccessible::queryAccessibleInterface(hook_->list()) : nullptr;
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        if (!isValid())
            return {};
        if (t == QAccessible::Name) {
            const QString name = item_->data(Qt::AccessibleTextRole).toString();
            return name.isEmpty() ? item_->text() : name;
        }
        if (t == QAccessible::Description)
            return item_->data(Qt::AccessibleDescriptionRole).toString();
        return {};
    }
    void setText(QAccessible::Text, const QString &) override { }
    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect line = hook_->list()->visualItemRect(item_);
        return { hook_->list()->viewport()->mapToGlobal(line.topLeft()), line.size() };
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid())
            return state;
        const QListWidget *list = hook_->list();
        state.disabled = !list->isEnabled();
        state.invisible = !list->isVisible()
            || !list->viewport()->rect().intersects(list->visualItemRect(item_));
        state.focusable = state.selectable = true;
        state.selected = item_->isSelected();
        state.focused = list->hasFocus() && list->currentItem() == item_;
        state.checkable = (item_->flags() & Qt::ItemIsUserCheckable) != 0;
        state.checked = item_->checkState() == Qt::Checked;
        return state;
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface
            ? static_cast<QAccessibleActionInterface *>(this)
            : nullptr;
    }

    QStringList actionNames() const override { return { toggleAction() }; }
    void doAction(const QString &action) override
    {
        if (action == toggleAction() && isValid())
            hook_->toggle(item_);
    }
    QStringList keyBindingsForAction(const QString &action) const override
    {
        return action == toggleAction() ? QStringList { QStringLiteral("Space") } : QStringList();
    }

private:
    QPointer<TickHook> hook_;
    QListWidgetItem *item_;
};

QAccessibleInterface *TickHook::entry(QListWidgetItem *item)
{
    if (!item)
        return nullptr;
    if (const auto found = entries_.find(item); found != entries_.end())
        return QAccessible::accessibleInterface(found->second);
    auto *entry = new TickEntry(this, item);
    entries_[item] = QAccessible::registerAccessibleInterface(entry);
    return entry;
}

// The checklist: its entries are its children, nothing else (not its viewport or scroll bars,
// as with Qt's own lists).
class TickList : public QAccessibleWidget {
public:
    TickList(QListWidget *list, TickHook *hook)
        : QAccessibleWidget(list, QAccessible::List)
        , hook_(hook)
    { }

    int childCount() const override { return list()->count(); }
    QAccessibleInterface *child(int index) const override
    {
        return hook_ ? hook_->entry(list()->item(index)) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (int row = 0; row < list()->count(); ++row) {
            if (this->child(row) == child)
                return row;
        }
        return -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        const QPoint at = list()->viewport()->mapFromGlobal(QPoint(x, y));
        return hook_ ? hook_->entry(list()->itemAt(at)) : nullptr;
    }
    QAccessibleInterface *focusChild() const override
    {
        return hook_ && list()->hasFocus() ? hook_->entry(list()->currentItem()) : nullptr;
    }

private:
    QListWidget *list() const { return static_cast<QListWidget *>(widget()); }
    QPointer<TickHook> hook_;
};

// The message dialog: an alert when it tells something (a message, the result), a dialog while
// it shows progress. Its name is its caption, set when it loads.
class MessageDialog : public QAccessibleWidget {
public:
    explicit MessageDialog(UI_Message *dialog)
        : QAccessibleWidget(dialog, QAccessible::Dialog)
    { }
    QAccessible::Role role() const override
    {
        return static_cast<const UI_Message *>(widget())->gUI_Message_MsgType == 2
            ? QAccessible::Dialog
            : QAccessible::AlertMessage;
    }
};

QAccessibleInterface *Factory(const QString &className, QObject *object)
{
    if (className == QLatin1String("UI_Message"))
        return new MessageDialog(static_cast<UI_Message *>(object));
    if (className == QLatin1String("QTabWidget") && object->property(kPagesOnly).toBool())
        return new PageContainer(static_cast<QWidget *>(object));
    if (className == QLatin1String("QListWidget")) {
        auto *list = static_cast<QListWidget *>(object);
        if (auto *hook
            = list->findChild<QObject *>(QLatin1String(kTickHook), Qt::FindDirectChildrenOnly))
            return new TickList(list, static_cast<TickHook *>(hook));
    }
    return nullptr;
}

} // namespace

namespace accessibility {

void Install()
{
    static const bool installed = [] {
        QAccessible::installFactory(Factory);
        return true;
    }();
    Q_UNUSED(installed);
}

void HidePageHeaders(QTabWidget *tabs)
{
    tabs->setProperty(kPagesOnly, true);
}

void TickThrough(QListWidget *list, std::function<void(QListWidgetItem *)> toggle)
{
    new TickHook(list, std::move(toggle));
}

void RowChanged(QListWidget *list, int row, QAccessible::Event what)
{
    if (!QAccessible::isActive() || row < 0 || row >= list->count())
        return;
    QAccessibleEvent event(list, what);
    event.setChild(row);
    QAccessible::updateAccessibility(&event);
}

void Announce(QWidget *widget, const QString &text)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    if (!QAccessible::isActive() || text.isEmpty())
        return;
    QAccessibleAnnouncementEvent event(widget, text);
    QAccessible::updateAccessibility(&event);
#else
    Q_UNUSED(widget);
    Q_UNUSED(text);
#endif
}

} // namespace accessibility
