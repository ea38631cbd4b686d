# Installation and the Debian binary package.

# Debian installs manual pages and the changelog compressed, reproducibly.
set(ZELMO_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/zelmo-flash)
set(compressed)
foreach(file man/zelmo_flash.1 man/zelmo_flash_simboard.1 packaging/changelog)
  get_filename_component(name ${file} NAME)
  set(output ${CMAKE_BINARY_DIR}/compressed/${name}.gz)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/compressed
    COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/${file} > ${output}
    DEPENDS ${PROJECT_SOURCE_DIR}/${file}
    VERBATIM)
  list(APPEND compressed ${output})
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${compressed})
list(FILTER compressed INCLUDE REGEX "\\.1\\.gz$")
install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/compressed/changelog.gz packaging/copyright
        DESTINATION ${ZELMO_DOC_DIR})
# Where bash-completion loads a command's completion from on first use.
install(FILES completion/zelmo_flash
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zelmo-flash)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware updater for the TNC board's PIC")
# The synopsis is the summary above; CPack indents these lines and turns
# the empty one into the paragraph mark.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "zelmo_flash updates the application firmware of the PIC microcontroller
on a packet-radio TNC board through its bootloader, over a serial port or
an I2C bus. It brings the data EEPROM in line with an Intel HEX file and,
when the application region differs, erases, programs and verifies it.

The package also holds zelmo_flash_simboard, a simulated board served on
a pseudo-terminal, for trying the updater without hardware.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "zelmo_flash maintainers <maintainers@zelmo-flash.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Cross builds name their Debian architecture in the toolchain file.
if(ZELMO_DEB_ARCH)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${ZELMO_DEB_ARCH})
endif()
include(CPack)
