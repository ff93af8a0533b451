// Popup menus: the kit's TPopupMenu as a QMenu, shown modally; the nested
// event loop of QMenu::exec keeps timers and sockets running meanwhile.
#include <QAction>
#include <QMenu>
#include <QWidget>

#include "client/qt/kit/bar_text.h"
#include "client/qt/kit/qt_kit.h"

namespace navlet::qt {

namespace {

constexpr const char* COMMAND_ID = "navletCommandId";

// The platform's menu captions mark the access key with "&", as Qt's do.
void Fill(QMenu& menu, const TPopupMenu& source) {
    for (const TPopupMenu::TEntry& entry : source.Entries()) {
        if (entry.IsSeparator()) {
            menu.addSeparator();
            continue;
        }
        if (entry.submenu) {
            QMenu* sub = menu.addMenu(FromBar(entry.item.caption));
            Fill(*sub, *entry.submenu);
            continue;
        }
        QAction* action = menu.addAction(FromBar(entry.item.caption));
        action->setEnabled(entry.item.enabled);
        action->setCheckable(entry.item.checked);
        action->setChecked(entry.item.checked);
        action->setProperty(COMMAND_ID, int(entry.item.id));
    }
}

} // namespace

void TQtMenuTracker::Register(const TComponent* model, QWidget* widget) {
    widgets[model] = widget;
    QObject::connect(widget, &QObject::destroyed, &lifetime, [this, model, widget] {
        auto it = widgets.find(model);
        if (it != widgets.end() && it->second == widget)
            widgets.erase(it);
    });
}

int16_t TQtMenuTracker::ShowPopupMenu(const TPopupMenu& source, int32_t x, int32_t y,
                                      const TComponent* control) {
    QPoint at(x, y);
    if (control) {
        auto it = widgets.find(control);
        if (it == widgets.end() || !it->second)
            return MENU_NOT_SHOWN;
        at = it->second->mapToGlobal(at);
    }
    QMenu menu;
    Fill(menu, source);
    QAction* chosen = menu.exec(at);
    if (!chosen)
        return MENU_DISMISSED;
    return int16_t(chosen->property(COMMAND_ID).toInt());
}

} // namespace navlet::qt
