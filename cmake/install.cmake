# What `cmake --install` puts where, and the Debian package `cpack -G DEB` makes of it:
# transfer-info and dbftool in bin/, the stand-in appraisal program (a test tool) under
# libexec/transfer-info/, man pages, desktop entry, icon, AppStream metadata and the licences.
# `cmake --install BUILD --strip` strips the programs.
include(GNUInstallDirs)

foreach(program transfer-info dbftool)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
if(TARGET apx-sim)
  install(TARGETS apx-sim RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/transfer-info)
endif()
if(WIN32)
  return()
endif()

# Man pages and the Debian changelog go in compressed, as Debian wants them (man reads them so
# everywhere).
set(xfr_gz_dir ${PROJECT_BINARY_DIR}/install-gz)
file(MAKE_DIRECTORY ${xfr_gz_dir})
foreach(source data/man/transfer-info.1 data/man/dbftool.1 data/debian/changelog)
  get_filename_component(name ${source} NAME)
  if(name STREQUAL "changelog")
    set(name changelog.gz)
  else()
    set(name ${name}.gz)
  endif()
  execute_process(COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/${source}
                  OUTPUT_FILE ${xfr_gz_dir}/${name} COMMAND_ERROR_IS_FATAL ANY)
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${PROJECT_SOURCE_DIR}/${source})
endforeach()
install(FILES ${xfr_gz_dir}/transfer-info.1.gz ${xfr_gz_dir}/dbftool.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(xfr_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/transfer-info)
install(FILES data/debian/copyright ${xfr_gz_dir}/changelog.gz DESTINATION ${xfr_doc_dir})
install(FILES LICENSE LICENSES/LGPL-3.0.txt LICENSES/GPL-3.0.txt DESTINATION ${xfr_doc_dir})

if(TARGET transfer-info AND XFR_GUI)
  install(FILES data/transfer-info.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES data/transfer-info.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES data/transfer-info.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

set(CPACK_PACKAGE_NAME transfer-info)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Transfer Info developers")
set(CPACK_PACKAGE_CONTACT "Transfer Info developers <transfer-info@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "move an appraisal job between the appraisal program and the tracking tables")
set(CPACK_PACKAGE_DESCRIPTION
    "Transfer Info reads the report open in the appraisal program into the\n"
    "job-tracking program's FoxPro tables (property, client and invoice), or\n"
    "sends a job's record back to the appraisal program, keeping the tables'\n"
    "indexes in step. dbftool checks, corrects and reindexes the tables.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads the SVG icon through a plugin, which dpkg-shlibdeps cannot see.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libqt6svg6)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
include(CPack)
