# The monitoring systems' definitions of the check (see packaging/monitoring) and the systemd timer that
# writes its result for node_exporter's textfile collector, shipped disabled. Included by this
# directory's CMakeLists.txt once the program list is known.
if(NOT TARGET corvix-tcpip-cli)
  return()
endif()
set(CORVIX_MONITORING_DIR /usr/share/corvix-tcpip/monitoring)
set(corvix_monitoring_files
    ${PROJECT_SOURCE_DIR}/packaging/monitoring/nrpe.cfg ${PROJECT_SOURCE_DIR}/packaging/monitoring/zabbix_agentd.conf
    ${PROJECT_SOURCE_DIR}/packaging/monitoring/icinga2.conf ${PROJECT_SOURCE_DIR}/packaging/monitoring/mrpe.cfg)
set(corvix_textfile_units ${CMAKE_CURRENT_LIST_DIR}/corvix-tcpip-textfile.service
                          ${CMAKE_CURRENT_LIST_DIR}/corvix-tcpip-textfile.timer)
install(FILES ${corvix_monitoring_files} DESTINATION ${CORVIX_MONITORING_DIR})
# Installed, never enabled or started by the package: the README says how.
install(FILES ${corvix_textfile_units} DESTINATION /lib/systemd/system)

# The package's command is made further on in this directory: at its end, make the package depend on these
# files too, and check that it holds them.
function(corvix_monitoring_package)
  if(NOT TARGET deb)
    return()
  endif()
  add_custom_command(OUTPUT ${deb} APPEND DEPENDS ${corvix_monitoring_files} ${corvix_textfile_units})
  if(BUILD_TESTING)
    add_test(NAME deb.monitoring COMMAND bash ${PROJECT_SOURCE_DIR}/packaging/monitoring/tests/deb_monitoring_test.sh
                                         ${deb} ${CORVIX_MONITORING_DIR})
  endif()
endfunction()
cmake_language(DEFER CALL corvix_monitoring_package)
