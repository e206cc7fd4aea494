// Assistive technology in a suite's place. Switching accessibility on takes Qt's platform
// integration (QtGui's private headers, Qt6::GuiPrivate): no public call does it without a
// client such as a screen reader.
#pragma once

#include <QAccessible>
#include <QString>
#include <QStringList>
#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

#include <vector>

// While it lives: accessibility on, as a screen reader switches it on, and every event
// recorded with what its element said at that moment (a status row may be replaced a moment
// later).
class AccessibilityRecorder {
public:
    struct Heard {
        QAccessible::Event type;
        QString object; // objectName of the element, or of the list the row is in
        int child; // the row, or -1
        QString name;
        QString description;
        bool checked;
    };

    AccessibilityRecorder()
    {
        current_ = this;
        QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(true);
        QAccessible::installUpdateHandler(&record);
    }
    ~AccessibilityRecorder()
    {
        QAccessible::installUpdateHandler(nullptr);
        QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(false);
        current_ = nullptr;
    }

    // The names (or descriptions) that events of `type` from row `child` of `object` carried.
    QStringList said(
        QAccessible::Event type, const QString &object, int child, bool description = false) const
    {
        QStringList texts;
        for (const Heard &event : heard)
            if (event.type == type && event.object == object && event.child == child)
                texts << (description ? event.description : event.name);
        return texts;
    }

    std::vector<Heard> heard;

private:
    static inline AccessibilityRecorder *current_ = nullptr;
    static void record(QAccessibleEvent *event)
    {
        QAccessibleInterface *element = event->accessibleInterface();
        if (!current_ || !element)
            return;
        current_->heard.push_back(
            { event->type(), event->object() ? event->object()->objectName() : QString(),
                event->child(), element->text(QAccessible::Name),
                element->text(QAccessible::Description), bool(element->state().checked) });
    }
};
