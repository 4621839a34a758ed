/* Reading the toolkit's objects back in the GUI suites: titles, positions
 * and the children of a window or group; handing the toolkit its events.
 * Include after "toolkit.h". */
#ifndef VARTENA_TEST_WIDGETS_H
#define VARTENA_TEST_WIDGETS_H

#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

/* The toolkit's object links (its internal header clashes with Motif's). */
extern "C" {
Nlm_GraphiC Nlm_GetChild(Nlm_GraphiC a);
Nlm_GraphiC Nlm_GetNext(Nlm_GraphiC a);
}

namespace vt {

inline std::string title(Nlm_Handle h)
{
    char buf[1024];
    buf[0] = '\0';
    Nlm_GetTitle(h, buf, sizeof buf);
    return buf;
}

inline Nlm_RecT rect(Nlm_Handle h)
{
    Nlm_RecT r = {0, 0, 0, 0};
    Nlm_GetPosition(h, &r);
    return r;
}

/* The children of parent in the order made (at most 200). */
inline std::vector<Nlm_GraphiC> children(Nlm_Handle parent)
{
    std::vector<Nlm_GraphiC> list;
    for (Nlm_GraphiC c = Nlm_GetChild((Nlm_GraphiC)parent); c != NULL && list.size() < 200;
         c = Nlm_GetNext(c))
        list.push_back(c);
    return list;
}

/* Hands the toolkit its events for about ms milliseconds, or until done()
 * holds, and frees the windows removed meanwhile. */
inline void pump(int ms, const std::function<bool()> &done = nullptr)
{
    for (int i = 0; i < ms / 10 && !(done && done()); i++) {
        while (Nlm_EventAvail())
            Nlm_ProcessAnEvent();
        usleep(10000);
    }
    Nlm_RemoveDyingWindows();
}

} // namespace vt

#endif
