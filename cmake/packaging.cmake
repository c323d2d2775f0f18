# What an installation holds, and the Debian package made of it (./quillbase package).
include(GNUInstallDirs)

install(TARGETS quillbase quillbase-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(app_id com.tarvo.Quillbase)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/${app_id}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/icons/${app_id}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/icons/${app_id}-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${app_id}.png)
endforeach()

# The screenshots of the metadata are those of docs/, where the project publishes them.
set(QB_SCREENSHOT_URL "https://tarvo.example/quillbase/docs" CACHE STRING
    "web address of the docs/ folder, for the screenshots of the AppStream metadata")
string(TIMESTAMP QB_RELEASE_DATE "%Y-%m-%d" UTC)
configure_file(${PROJECT_SOURCE_DIR}/packaging/${app_id}.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/packaging/${app_id}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/packaging/${app_id}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Manual pages and the changelog, compressed the way Debian ships them (no time stamp in
# the gzip header, so that two builds give the same bytes).
find_program(GZIP gzip REQUIRED)
set(compressed)
foreach(page quillbase.1 quillbase-cli.1)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/${page} ${PROJECT_BINARY_DIR}/packaging/${page}
                 @ONLY)
  list(APPEND compressed ${PROJECT_BINARY_DIR}/packaging/${page})
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog
               ${PROJECT_BINARY_DIR}/packaging/changelog COPYONLY)
list(APPEND compressed ${PROJECT_BINARY_DIR}/packaging/changelog)
set(gz_files)
foreach(f ${compressed})
  add_custom_command(OUTPUT ${f}.gz COMMAND ${GZIP} -9nkf ${f} DEPENDS ${f} VERBATIM)
  list(APPEND gz_files ${f}.gz)
endforeach()
add_custom_target(qb_packaging_files ALL DEPENDS ${gz_files})
install(FILES ${PROJECT_BINARY_DIR}/packaging/quillbase.1.gz
              ${PROJECT_BINARY_DIR}/packaging/quillbase-cli.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME changelog.gz)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillbase)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tarvo <quillbase@tarvo.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "import article files into MySQL tables and export them back")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Quillbase loads folders of articles (plain text or HTML pages, in GBK,\nUTF-8, UTF-16 or Big5) into a MySQL or MariaDB table, one row per file,\n with columns filled from the file name, the contents, the page title, a\n summary, the file time, generated values or fixed text, and writes rows\n back out as files. A small MySQL manager comes with it. quillbase-cli runs\n imports and exports from a terminal.")
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Depends from the libraries the programs actually link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# And Qt's own Chinese texts for its buttons and dialogs, which no library link shows.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "mariadb-client")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
