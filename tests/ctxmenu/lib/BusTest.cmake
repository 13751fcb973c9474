# ctxmenu_bus_test(NAME TARGET [ENV...]): runs TARGET on a private session bus
# of its own, with its own home and service folder, so that nothing of the
# user's session is touched and no installed program is started.
find_package(PkgConfig REQUIRED)
pkg_check_modules(CTX_TEST_GIO REQUIRED IMPORTED_TARGET gio-2.0)
find_program(CTXMENU_DBUS_RUN_SESSION dbus-run-session REQUIRED)
set(CTXMENU_SESSION_CONF_IN ${CMAKE_CURRENT_LIST_DIR}/session.conf.in)

function(ctxmenu_bus_test name target)
  set(root ${CMAKE_CURRENT_BINARY_DIR}/${name})
  set(CTXMENU_SERVICE_DIR ${root}/services)
  file(MAKE_DIRECTORY ${root}/services ${root}/home ${root}/data ${root}/config)
  configure_file(${CTXMENU_SESSION_CONF_IN} ${root}/session.conf @ONLY)
  add_test(NAME ${name}
           COMMAND ${CTXMENU_DBUS_RUN_SESSION} --config-file=${root}/session.conf -- $<TARGET_FILE:${target}>)
  set_tests_properties(${name} PROPERTIES TIMEOUT 60
    ENVIRONMENT "HOME=${root}/home;XDG_DATA_HOME=${root}/data;XDG_CONFIG_HOME=${root}/config;GIO_USE_VFS=local;CTXMENU_TEST_SERVICE_DIR=${root}/services;${ARGN}")
endfunction()
