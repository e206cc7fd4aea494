# The build texts: the product this build serves, the name of its firmware file and the image
# itself. All three are fixed when the program is built.
set(VORNIK_PRODUCT_NAME "ZELTAN QXR3303" CACHE STRING "Product name of the printers this build updates")
set(VORNIK_FIRMWARE_FILE_NAME
    "io_quillet_dist_pp1_016.2528A_nonassert_appsigned_lbi_rootfs_secure_signed.fhx"
    CACHE STRING "Name of the firmware file whose content is embedded")
set(VORNIK_FIRMWARE_IMAGE "" CACHE FILEPATH
    "Path of the real firmware image; empty builds a deterministic placeholder")

# A build text (build number and branch suffix) must fit start-up's 50-unit buffer with its
# terminator. Work it out now with the check itself rather than a second copy of its rules.
try_run(build_text_run build_text_compiled
  ${CMAKE_BINARY_DIR}/build_text_check
  SOURCES ${CMAKE_SOURCE_DIR}/cmake/check_build_texts.cpp
          ${CMAKE_SOURCE_DIR}/firmware/identity_check.cpp
          ${CMAKE_SOURCE_DIR}/printer_link/platform.cpp
  CMAKE_FLAGS "-DINCLUDE_DIRECTORIES=${CMAKE_SOURCE_DIR}"
  CXX_STANDARD 20
  COMPILE_OUTPUT_VARIABLE build_text_compile_output
  RUN_OUTPUT_VARIABLE build_text_output
  ARGS "\"${VORNIK_PRODUCT_NAME}\"" "\"${VORNIK_FIRMWARE_FILE_NAME}\"")
if(NOT build_text_compiled)
  message(FATAL_ERROR "Could not build the build-text check:\n${build_text_compile_output}")
endif()
string(STRIP "${build_text_output}" build_text_output)
string(REPLACE " " ";" build_text_fields "${build_text_output}")
list(GET build_text_fields 0 build_text_result)
list(GET build_text_fields 1 build_text_units)
if(build_text_result EQUAL 1 AND build_text_units GREATER 49)
  message(FATAL_ERROR
    "The build texts give a build text of ${build_text_units} units; at most 49 fit.\n"
    "  product name: ${VORNIK_PRODUCT_NAME}\n  firmware file: ${VORNIK_FIRMWARE_FILE_NAME}\n"
    "Use a firmware file name whose build number is shorter.")
endif()
if(NOT build_text_result EQUAL 1)
  message(WARNING "The firmware file name does not fit the product (check result ${build_text_result}): "
                  "the program will say so and close at start.")
endif()
message(STATUS "Build texts: ${VORNIK_PRODUCT_NAME} / ${VORNIK_FIRMWARE_FILE_NAME} (build text of ${build_text_units} units)")
