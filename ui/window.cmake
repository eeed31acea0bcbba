# The window: the control layer over Qt Widgets, the main window with its
# controls, program start-up and exit, and the handler groups.
find_package(Qt6 6.4 REQUIRED COMPONENTS Widgets Network)

add_library(kestrova_ui STATIC
  controls.cpp
  gbk.cpp
  ip_address_box.cpp
  log_box.cpp
  widgets.cpp
  main_window.cpp
  port_box.cpp
  startup.cpp
  # Handler groups, one unit each.
  listening.cpp
  device_table.cpp
  sending.cpp)
set_target_properties(kestrova_ui PROPERTIES AUTOMOC ON)
target_link_libraries(kestrova_ui
  PUBLIC Qt6::Widgets kestrova_engine kestrova_traffic kestrova_codecs
  PRIVATE Qt6::Network)
kestrova_warnings(kestrova_ui)
