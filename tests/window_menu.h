/* The items of a window's pull-down menu as Motif shows them. */
#ifndef VARTENA_TEST_WINDOW_MENU_H
#define VARTENA_TEST_WINDOW_MENU_H

#include <string>
#include <vector>

/* Every managed item of the menu titled title in the window whose Motif
 * shell widget is shell, top to bottom: a submenu's items follow its item,
 * each marked ">"; an item that cannot be chosen ends in " (off)".  Empty
 * when there is no such menu. */
std::vector<std::string> MenuItems(void *shell, const char *title);

#endif
