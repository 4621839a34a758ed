# Files, directories, dialogs and commands.
vart_unit_suite(files_test files_test.cc)

# The dialogs are answered from outside with xdotool (pointer and keys), so
# the suite runs alone.
vart_gui_suite(files_gui_test files_gui_test.cc)
set_tests_properties(files_gui_test PROPERTIES RUN_SERIAL TRUE TIMEOUT 300)
