# The MSI's "monitoring" folder beside the programs: the NSClient++ definition of the check, with the path
# this package installs the command-line program to. Included where the command-line component is made.
if(CORVIX_MSI_ARCH STREQUAL x86)
  set(CORVIX_CLI_WINDOWS_PATH "C:\\Program Files (x86)\\Qor\\Corvix\\CorvixTcpIpCli.exe")
  set(CORVIX_WINDOWS_KIND "64-bit Windows (on 32-bit Windows: C:\\Program Files\\Qor\\Corvix)")
else()
  set(CORVIX_CLI_WINDOWS_PATH "C:\\Program Files\\Qor\\Corvix\\CorvixTcpIpCli.exe")
  set(CORVIX_WINDOWS_KIND "64-bit Windows")
endif()
set(monitoring_dir ${CMAKE_CURRENT_BINARY_DIR}/monitoring)
configure_file(${CMAKE_CURRENT_LIST_DIR}/nsclient.ini.in ${monitoring_dir}/nsclient.ini @ONLY NEWLINE_STYLE CRLF)
set(CORVIX_MSI_EXTRA_FILES ${monitoring_dir}/nsclient.ini)
string(APPEND CORVIX_CLI_COMPONENT "
            <Directory Id=\"MonitoringFolder\" Name=\"monitoring\">
              <Component Id=\"Monitoring\" Guid=\"*\" Win64=\"${CORVIX_WIN64}\">
                <File Id=\"nsclient.ini\" Name=\"nsclient.ini\" Source=\"monitoring/nsclient.ini\" KeyPath=\"yes\"/>
              </Component>
            </Directory>")
string(APPEND CORVIX_CLI_COMPONENT_REF "
      <ComponentRef Id=\"Monitoring\"/>")
