// What assistive technology (a screen reader, voice control) meets in the window, where Qt's own
// accessible interfaces would tell it the wrong thing, and the events for changes only this
// program knows of. Qt's bridge carries both to the client: AT-SPI on Linux, UI Automation on
// Windows. Names and descriptions themselves are set where the texts are (ui/languages.cpp, the
// status rows in ui/form1.cpp).
#pragma once

#include <QAccessible>
#include <QString>

#include <functional>

class QListWidget;
class QListWidgetItem;
class QTabWidget;
class QWidget;

namespace accessibility {

// The interfaces below, installed once per process; call before building the elements.
void Install();

// A page container whose page headers never show: its tab bar, with the bar's scroll buttons,
// stays out of the accessible tree, which holds only the pages.
void HidePageHeaders(QTabWidget *tabs);

// A checklist whose entries tell their tick (checkable, checked, a state change whenever it
// changes) and whose "Toggle" ticks an entry through `toggle`, the path a click and Space take.
// Qt's own entries would select the line on "Toggle" and leave the tick alone.
void TickThrough(QListWidget *list, std::function<void(QListWidgetItem *)> toggle);

// Row `row` of `list` changed what `what` says (NameChanged, DescriptionChanged).
void RowChanged(QListWidget *list, int row, QAccessible::Event what);

// Says `text` on behalf of `widget` where the Qt in use announces (6.8 and later); before that,
// the name and description events carry the change.
void Announce(QWidget *widget, const QString &text);

} // namespace accessibility
