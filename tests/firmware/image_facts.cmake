# Writes the size and SHA-256 of a firmware image as a C++ header, for the test that reads the
# image back out of the program. Usage: cmake -DIMAGE=<file> -DOUTPUT=<header> -P image_facts.cmake
file(SIZE "${IMAGE}" bytes)
file(SHA256 "${IMAGE}" digest)
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${IMAGE}.\n#pragma once\n"
  "inline constexpr unsigned long long kExpectedImageBytes = ${bytes}ull;\n"
  "inline constexpr char kExpectedImageSha256[] = \"${digest}\";\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
