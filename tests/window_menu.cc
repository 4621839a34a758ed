/* Reads a window's pull-down menu through Motif, the widget set beneath the
 * toolkit: the toolkit keeps no readable titles for menu items.
 * This file includes no toolkit header (Motif's and the toolkit's clash). */
#include <Xm/Xm.h>
#include <Xm/CascadeB.h>

#include "window_menu.h"

namespace {

std::string labelOf(Widget w)
{
    XmString label = NULL;
    XtVaGetValues(w, XmNlabelString, &label, NULL);
    if (label == NULL)
        return std::string();
    char *text = (char *)XmStringUnparse(label, NULL, XmCHARSET_TEXT, XmCHARSET_TEXT, NULL, 0, XmOUTPUT_ALL);
    XmStringFree(label);
    std::string result = text != NULL ? text : "";
    XtFree(text);
    return result;
}

std::vector<Widget> childrenOf(Widget w)
{
    WidgetList list = NULL;
    Cardinal count = 0;
    if (XtIsComposite(w))
        XtVaGetValues(w, XmNchildren, &list, XmNnumChildren, &count, NULL);
    return std::vector<Widget>(list, list + count);
}

/* The pull-down menu of a cascade button, NULL for any other widget. */
Widget menuOf(Widget w)
{
    Widget menu = NULL;
    if (w != NULL && XmIsCascadeButton(w))
        XtVaGetValues(w, XmNsubMenuId, &menu, NULL);
    return menu;
}

/* The cascade button titled title anywhere below w, or NULL. */
Widget findCascade(Widget w, const std::string &title)
{
    if (XmIsCascadeButton(w) && labelOf(w) == title)
        return w;
    for (Widget child : childrenOf(w))
        if (Widget found = findCascade(child, title))
            return found;
    return NULL;
}

/* The items of menu and, at most four deep, of its submenus. */
void listMenu(Widget menu, const std::string &mark, std::vector<std::string> &items)
{
    for (Widget item : childrenOf(menu)) {
        if (!XtIsManaged(item))
            continue;
        items.push_back(mark + labelOf(item) + (XtIsSensitive(item) ? "" : " (off)"));
        if (menuOf(item) != NULL && mark.size() < 4)
            listMenu(menuOf(item), mark + ">", items);
    }
}

} // namespace

std::vector<std::string> MenuItems(void *shell, const char *title)
{
    std::vector<std::string> items;
    Widget menu = menuOf(findCascade((Widget)shell, title));
    if (menu != NULL)
        listMenu(menu, "", items);
    return items;
}
