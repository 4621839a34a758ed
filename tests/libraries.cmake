# The shared library registry, on libraries built here: two with the entry
# points (vart_entry_a, vart_entry_b) and one without (vart_plain).
foreach(name a b)
  add_library(vart_entry_${name} MODULE libs/entry_points.c)
  target_compile_definitions(vart_entry_${name} PRIVATE LIBRARY_NAME="${name}")
  target_compile_options(vart_entry_${name} PRIVATE ${VART_WARNINGS})
endforeach()
add_library(vart_plain MODULE libs/plain.c)
target_compile_options(vart_plain PRIVATE ${VART_WARNINGS})

vart_unit_suite(libraries_test libraries_test.cc)
add_dependencies(libraries_test vart_entry_a vart_entry_b vart_plain)
target_compile_definitions(libraries_test PRIVATE
  VART_LIB_A="$<TARGET_FILE:vart_entry_a>"
  VART_LIB_B="$<TARGET_FILE:vart_entry_b>"
  VART_LIB_PLAIN="$<TARGET_FILE:vart_plain>")
