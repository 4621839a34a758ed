# Description files through the text descriptor; the widest-line measure
# needs a live toolkit for its font.
vart_unit_suite(descriptors_test descriptors_test.cc)
vart_gui_suite(descriptors_gui_test descriptors_gui_test.cc)
