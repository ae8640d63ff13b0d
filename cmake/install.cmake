# What `cmake --install` puts where, and the Debian package `cpack -G DEB` makes of it:
# transfer-info and dbftool in bin/, the stand-in appraisal program (a test tool) under
# libexec/transfer-info/, man pages (transfer-info(1), transfer-info.ini(5), dbftool(1),
# apx-sim(1)), the setup guide with example INI files and a sample report under
# share/doc/transfer-info/, desktop entry, icon, AppStream metadata and the licences.
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
set(xfr_man_pages data/man/transfer-info.1 data/man/transfer-info.ini.5 data/man/dbftool.1)
if(TARGET apx-sim)
  list(APPEND xfr_man_pages data/man/apx-sim.1)
endif()
foreach(source ${xfr_man_pages} data/debian/changelog)
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
foreach(source ${xfr_man_pages})
  get_filename_component(name ${source} NAME)
  string(REGEX REPLACE ".*\\." "" section ${name})
  install(FILES ${xfr_gz_dir}/${name}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endforeach()

set(xfr_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/transfer-info)
install(FILES data/debian/copyright ${xfr_gz_dir}/changelog.gz DESTINATION ${xfr_doc_dir})
install(FILES LICENSE LICENSES/LGPL-3.0.txt LICENSES/GPL-3.0.txt DESTINATION ${xfr_doc_dir})
# The setup guide and what it sets an office up from: transfer-info.ini(5) names these paths.
install(FILES doc/setup.md DESTINATION ${xfr_doc_dir})
install(FILES data/examples/XFR.INI data/examples/APX.INI data/examples/Trk.Ini
        DESTINATION ${xfr_doc_dir}/examples)
if(TARGET apx-sim)
  # A report for the stand-in appraisal program, as apx-sim(1) shows it.
  install(FILES tests/data/apx/demo_report.json DESTINATION ${xfr_doc_dir}/examples
          RENAME sample-report.json)
endif()

if(TARGET transfer-info AND XFR_GUI)
  install(FILES data/transfer-info.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES data/transfer-info.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  configure_file(data/transfer-info.metainfo.xml.in
                 ${PROJECT_BINARY_DIR}/${XFR_APPSTREAM_ID}.metainfo.xml @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${XFR_APPSTREAM_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

set(CPACK_PACKAGE_NAME transfer-info)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "${XFR_MAINTAINER_NAME}")
set(CPACK_PACKAGE_CONTACT "${XFR_MAINTAINER_NAME} <${XFR_MAINTAINER_EMAIL}>")
set(CPACK_PACKAGE_HOMEPAGE_URL "${PROJECT_HOMEPAGE_URL}")
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
