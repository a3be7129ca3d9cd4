# Builds the MSI: wixl from the configured .wxs, then msibuild for what wixl cannot express, then,
# given a certificate and key, the Authenticode signature.
# usage: cmake -D WIXL=<wixl> -D MSIBUILD=<msibuild> -D ARCH=<x86|x64> -D VERSION=<x.y.z> -D UPGRADE_CODE=<guid> -D WXS=<file>
#              -D BIN_DIR=<folder of the shipped programs, relative to the .wxs> -D ICON=<.ico, relative to the .wxs>
#              -D SETTINGS_ATTRIBUTES=<n> -D REG_LOCATOR_TYPE=<n> -D OUTPUT=<package.msi>
#              [-D OSSLSIGNCODE=<osslsigncode> -D CERT=<cert.pem> -D KEY=<key.pem> -D DESCRIPTION=<text>]
#              -P make_msi.cmake
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/../script_common.cmake)
corvix_require(make_msi.cmake WIXL MSIBUILD ARCH VERSION UPGRADE_CODE WXS BIN_DIR ICON SETTINGS_ATTRIBUTES REG_LOCATOR_TYPE OUTPUT)

set(unsigned ${OUTPUT}.unsigned)
file(REMOVE ${unsigned} ${OUTPUT})
corvix_run(${WIXL} -a ${ARCH} -D Version=${VERSION} -D BinDir=${BIN_DIR} -D IconFile=${ICON} -o ${unsigned} ${WXS})

# One statement; a function of its own, so that the semicolons in a statement stay in it.
function(query statement)
  execute_process(COMMAND ${MSIBUILD} ${unsigned} -q "${statement}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${statement}")
  endif()
endfunction()

# wixl knows neither component conditions nor permanent components: the settings component is made
# conditional on HOSTNAME and permanent (msidbComponentAttributesPermanent, beside the registry key
# path and, in the 64-bit package, msidbComponentAttributes64bit).
query("UPDATE Component SET Condition = 'HOSTNAME', Attributes = ${SETTINGS_ATTRIBUTES} WHERE Component = 'Settings'")
# HOSTNAME reaches the elevated part of a per-machine install only as a secure property.
query("UPDATE Property SET Value = 'HOSTNAME;WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED' WHERE Property = 'SecureCustomProperties'")
# The major upgrade takes the installed product of this very version too
# (msidbUpgradeAttributesVersionMaxInclusive beside msidbUpgradeAttributesMigrateFeatures): a rebuild
# replaces it rather than installing beside it.
# The attributes are part of the row's key, so the row is made anew.
query("DELETE FROM Upgrade WHERE ActionProperty = 'WIX_UPGRADE_DETECTED'")
query("INSERT INTO Upgrade (UpgradeCode, VersionMax, Attributes, ActionProperty) VALUES ('{${UPGRADE_CODE}}', '${VERSION}', 513, 'WIX_UPGRADE_DETECTED')")
# A plain immediate "set a property" action (type 51): wixl adds a no-impersonate bit.
query("UPDATE CustomAction SET Type = 51 WHERE Action = 'KeepStoredHostName'")
# The search reads the registry view that the package writes: raw, and in the 64-bit package 64-bit.
query("UPDATE RegLocator SET Type = ${REG_LOCATOR_TYPE} WHERE Signature_ = 'StoredHostName'")
# Versioned files, with the version of each program's version resource: wixl leaves the column empty.
query("UPDATE File SET Version = '${VERSION}.0', Language = '1033' WHERE File = 'CorvixTcpIp.exe' OR File = 'CorvixTcpIpCli.exe'")
# wixl writes an expandable registry value as a plain string: the event source's message file gets
# its REG_EXPAND_SZ type back.
query("UPDATE Registry SET Value = '#%[#CorvixTcpIp.exe]' WHERE Name = 'EventMessageFile' AND Component_ = 'Program'")

if(DEFINED CERT AND NOT CERT STREQUAL "")
  corvix_run(${OSSLSIGNCODE} sign -certs ${CERT} -key ${KEY} -h sha256 -n "${DESCRIPTION}" -in ${unsigned} -out ${OUTPUT})
  file(REMOVE ${unsigned})
else()
  file(RENAME ${unsigned} ${OUTPUT})
endif()
