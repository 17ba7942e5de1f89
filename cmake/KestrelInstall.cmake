# Installing: the programs, the five libraries with their headers, the
# message modules beside the libraries (they are looked for there), a CMake
# package (find_package(kestrel CONFIG) gives kestrel::kestrel,
# kestrel::krnbase, ...) and a pkg-config file per library. All paths in the
# package and the pkg-config files are relative, so the installed tree
# works from any prefix.
include(CMakePackageConfigHelpers)

set(kestrel_libraries krnbase tokentext utilkit encsense libkestrel)
install(TARGETS kestrel kestrel-inspect kestrel-match encsense-detect RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS ${kestrel_libraries} ptl EXPORT kestrelTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT Development
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS platres utilres LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
foreach(folder platform/krn/include/krn tokentext/include/tkn utility/utk/include/utk utility/enr/include/enr
               kestrel/include/tla ptl/include/ptl)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${folder} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development)
endforeach()

set(kestrel_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/kestrel)
install(EXPORT kestrelTargets NAMESPACE kestrel:: DESTINATION ${kestrel_cmake_dir} COMPONENT Development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/kestrelConfig.cmake.in
  ${PROJECT_BINARY_DIR}/kestrelConfig.cmake INSTALL_DESTINATION ${kestrel_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kestrelConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kestrelConfig.cmake ${PROJECT_BINARY_DIR}/kestrelConfigVersion.cmake
  DESTINATION ${kestrel_cmake_dir} COMPONENT Development)

# pkg-config: name, description, the packages it requires, the library.
file(RELATIVE_PATH kestrel_pc_to_prefix ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
foreach(entry
    "krnbase|status values, buffers, streams, strings and Unicode, checksums, files|"
    "tokentext|interned token texts, tokens, text views and the tokeniser|krnbase"
    "utilkit|buffer patcher and property lists|krnbase xerces-c"
    "encsense|character readers, encoding detection and conversion|krnbase utilkit"
    "kestrel|data set files: format, reader and search, deep check, writer, upgrade|krnbase tokentext utilkit encsense")
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 KESTREL_PC_NAME)
  list(GET fields 1 KESTREL_PC_DESCRIPTION)
  list(GET fields 2 KESTREL_PC_REQUIRES)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/kestrel.pc.in ${PROJECT_BINARY_DIR}/pkgconfig/${KESTREL_PC_NAME}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/${KESTREL_PC_NAME}.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Development)
endforeach()

# A Debian package of all of it: cpack -G DEB. Its dependencies come from
# the libraries the programs and libraries link (dpkg-shlibdeps).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "data sets of the token checksums of TAB-separated records")
set(CPACK_PACKAGE_DESCRIPTION "kestrel turns a text file of TAB-separated records into a data set file: the
CRC-64s of the tokens of its normalised field values and, for every key field, a sorted index of key
hashes, so that records can be found by a key value without the values being stored. With
kestrel-inspect, kestrel-match, encsense-detect, and the libraries krnbase, tokentext, utilkit, encsense and kestrel
with their headers, CMake package and pkg-config files.")
set(CPACK_PACKAGE_CONTACT "kestrel developers <kestrel@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The package's own libraries are found inside it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/bin)
include(CPack)
