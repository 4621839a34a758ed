/* Reads the Help menu of a setup window, and its place on the screen,
 * through Motif, the widget set beneath the toolkit: the toolkit keeps no
 * readable titles for menu items.
 * This file includes no toolkit header (Motif's and the toolkit's clash). */
#include <Xm/Xm.h>
#include <Xm/CascadeB.h>
#include <Xm/RowColumn.h>

#include <string>

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

/* The cascade button titled title anywhere below w, or NULL. */
Widget findCascade(Widget w, const std::string &title, int depth)
{
    if (depth > 32)
        return NULL;
    if (XmIsCascadeButton(w) && labelOf(w) == title)
        return w;
    if (!XtIsComposite(w))
        return NULL;
    WidgetList children = NULL;
    Cardinal count = 0;
    XtVaGetValues(w, XmNchildren, &children, XmNnumChildren, &count, NULL);
    for (Cardinal i = 0; i < count; i++) {
        Widget found = findCascade(children[i], title, depth + 1);
        if (found != NULL)
            return found;
    }
    return NULL;
}

void listMenu(Widget menu, int depth, std::vector<MenuLine> &lines)
{
    WidgetList children = NULL;
    Cardinal count = 0;
    XtVaGetValues(menu, XmNchildren, &children, XmNnumChildren, &count, NULL);
    for (Cardinal i = 0; i < count; i++) {
        Widget item = children[i];
        if (!XtIsManaged(item))
            continue;
        lines.push_back(MenuLine{labelOf(item), XtIsSensitive(item) == True, depth});
        Widget sub = NULL;
        if (XmIsCascadeButton(item)) {
            XtVaGetValues(item, XmNsubMenuId, &sub, NULL);
            if (sub != NULL && depth < 4)
                listMenu(sub, depth + 1, lines);
        }
    }
}

} // namespace

bool WindowOrigin(void *shell, int *x, int *y)
{
    Widget w = (Widget)shell;
    if (w == NULL || XtWindow(w) == 0)
        return false;
    Display *dpy = XtDisplay(w);
    Window child;
    return XTranslateCoordinates(dpy, XtWindow(w), DefaultRootWindow(dpy), 0, 0, x, y, &child) == True;
}

std::vector<MenuLine> MenuLines(void *shell, const char *title)
{
    std::vector<MenuLine> lines;
    Widget cascade = findCascade((Widget)shell, title, 0);
    if (cascade == NULL)
        return lines;
    Widget menu = NULL;
    XtVaGetValues(cascade, XmNsubMenuId, &menu, NULL);
    if (menu != NULL)
        listMenu(menu, 0, lines);
    return lines;
}
