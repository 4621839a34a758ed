# The CMake package VartenaUtility: the imported target Vartena::utility, the
# utility layer of the Vartena package's programs (header <vartena/utility.h>),
# which links Vartena::toolkit, the NCBI toolkit with Vibrant, Motif, Xt and
# Xlib.  libXm stays on the link line even when the linker would drop it:
# Motif's VendorShell must come before Xt's.
include("${CMAKE_CURRENT_LIST_DIR}/VartenaUtilityTargets.cmake")
