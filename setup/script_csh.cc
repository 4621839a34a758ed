/* The compile script CompRhs for the csh shell style.  The first entry is
 * never written: the run writes "#! " and the Shell path field instead.
 * Every further line is expanded through the settings store. */

#include "setup.h"

const char *const CompileRhs[] = {
    "#! /bin/csh -f                                   ",
    "unset noclobber",
    "cc -c -O2 -fPIC -o delete$(Extensions.OBJ) $(Compiler.INCLUDE) $1$(Extensions.C) >&$(Compiler.LOGFILE)",
    "cc -shared -Wl,-soname,$2.so -o $2$(Extensions.LIB) delete$(Extensions.OBJ) $(Compiler.LIB) >>&$(Compiler.LOGFILE)",
    "if ( $3 == 'y' ) then",
    " if ( -r $2$(Extensions.LIB) ) then",
    "  if ( -r tmp_der ) then",
    "   rm -f tmp_der tmp_fun$(Extensions.C) tmp_fun1$(Extensions.H)",
    "  endif",
    "  $(Compiler.CPPNAME)  -o tmp_der $(Compiler.INCLUDE) tmp_der$(Extensions.CPP) $(Paths.KERNEL)autodif$(Extensions.OBJ) $(Compiler.CPPLIB) >&$(Compiler.LOGFILE)1",
    "  if ( -r tmp_der ) then",
    "   ./tmp_der >>&$(Compiler.LOGFILE)1",
    "   if ( -r $(Compiler.EXTDIFFB) ) then",
    "     $(Compiler.EXTDIFFB)",
    "   endif",
    "  endif",
    "  cc -c -O2 -fPIC -o delete$(Extensions.OBJ) $(Compiler.INCLUDE) $1$(Extensions.C) >&$(Compiler.LOGFILE)",
    "  cc -shared -Wl,-soname,$2.so -o $2$(Extensions.LIB) delete$(Extensions.OBJ) $(Compiler.LIB) >>&$(Compiler.LOGFILE)",
    " endif",
    "endif",
    "rm -f delete$(Extensions.OBJ)",
    NULL
};
