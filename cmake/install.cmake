# Installing escala: the programs into bin/, a man page per program (made at
# build time by help2man from its --help and --version, completed by
# docs/man/<program>.h2m) into share/man/man1/, the README, docs/rules.toml and the sample task
# files into share/doc/escala/; and the Debian package made from that by CPack.
include(GNUInstallDirs)

set(escala_programs)
foreach(program escala escala-check escala-gantt escala-batch escala-gen escala-import escala-improve escala-export)
  if(TARGET ${program})
    list(APPEND escala_programs ${program})
  endif()
endforeach()

install(TARGETS ${escala_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

find_program(HELP2MAN help2man)
if(HELP2MAN)
  set(man_pages)
  foreach(program IN LISTS escala_programs)
    set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
    set(include_file ${PROJECT_SOURCE_DIR}/docs/man/${program}.h2m)
    set(include_option)
    set(include_dependency)
    if(EXISTS ${include_file})
      set(include_option --include=${include_file})
      set(include_dependency ${include_file})
    endif()
    # The sanitizers' runtime is told not to insist on coming first, as in the tests.
    add_custom_command(OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=verify_asan_link_order=0
              ${HELP2MAN} --no-info --section=1 --source=escala
              --version-string=${PROJECT_VERSION} ${include_option} --output=${page}.tmp $<TARGET_FILE:${program}>
      # Ragged right: long CSV headers and paths in the help need no stretching.
      COMMAND sed -e "/^\\.TH /a .ad l" ${page}.tmp > ${page}
      COMMAND ${CMAKE_COMMAND} -E remove ${page}.tmp
      DEPENDS ${program} ${include_dependency}
      COMMENT "Man page of ${program}"
      VERBATIM)
    list(APPEND man_pages ${page})
  endforeach()
  add_custom_target(man_pages ALL DEPENDS ${man_pages})
  install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(WARNING "help2man not found: no man pages (install the Debian package help2man)")
endif()

file(GLOB sample_task_files ${PROJECT_SOURCE_DIR}/examples/*.tsk)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/rules.toml ${sample_task_files}
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME escala)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "daily duty rosters for a bus operator's crew")
set(CPACK_PACKAGE_DESCRIPTION
"escala reads the day's vehicle duty pieces (times, points, lines and slack)
and builds the duty roster of the crew: a randomised greedy construction
improved by a tabu search, every cost from one weighted crew cost (idle time,
overtime, long days, short rest, overlaps, vehicle and point changes).

Its companions import the day from a GTFS timetable (escala-import), make the
roster cheaper under the same cost rules (escala-improve), check it and
measure it against a lower bound (escala-check), draw it as an HTML timeline
(escala-gantt), hand it to the operator as TODS run events and printable run
sheets (escala-export), build rosters unattended (escala-batch) and generate
test days (escala-gen).")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "escala developers <escala@localhost>")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)

if(ESCALA_TESTS AND HELP2MAN)
  add_test(NAME escala_install
    COMMAND ${PROJECT_SOURCE_DIR}/tests/install_test.sh ${CMAKE_BINARY_DIR} ${PROJECT_VERSION} ${escala_programs})
  set_tests_properties(escala_install PROPERTIES ENVIRONMENT "ASAN_OPTIONS=verify_asan_link_order=0" TIMEOUT 300)
endif()
