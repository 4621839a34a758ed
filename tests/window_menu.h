/* The items of a window's pull-down menu as Motif shows them. */
#ifndef VARTENA_TEST_WINDOW_MENU_H
#define VARTENA_TEST_WINDOW_MENU_H

#include <string>
#include <vector>

struct MenuLine {
    std::string label;
    bool sensitive; /* the item can be chosen (its menus included) */
    int depth;      /* 0 in the menu, 1 in a submenu of it */
};

/* Every managed item of the menu titled title in the window whose Motif
 * shell widget is shell, top to bottom, submenus expanded after their
 * item; empty when there is no such menu. */
std::vector<MenuLine> MenuLines(void *shell, const char *title);

/* The screen position of the window whose shell widget is shell; false
 * while it has no X window. */
bool WindowOrigin(void *shell, int *x, int *y);

#endif
