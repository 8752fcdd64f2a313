# The release archive: a relocatable tree (bin/, libexec/orvane/, share/orvane/) that runs from
# wherever it is unpacked, packed by CPack as orvane-<version>-linux-<arch>.tar.xz. The updater
# unpacks it beside the installed location and swaps it in; scripts/sign-release.sh signs it.

set(ORVANE_UPDATE_PUBLIC_KEY "" CACHE STRING
    "Base64 Ed25519 public key release archives are verified with (scripts/sign-release.sh public-key)")

set(ORVANE_BUNDLE_JSON "${CMAKE_BINARY_DIR}/package/bundle.json")
file(WRITE "${ORVANE_BUNDLE_JSON}.in" "{\n  \"OrvaneBuildChannel\": \"@ORVANE_BUILD_CHANNEL@\",\n  \"OrvaneUpdatePublicKey\": \"@ORVANE_UPDATE_PUBLIC_KEY@\"\n}\n")
configure_file("${ORVANE_BUNDLE_JSON}.in" "${ORVANE_BUNDLE_JSON}" @ONLY)

# What the updater checks before replacing anything: same product, the version the manifest named.
set(ORVANE_RELEASE_JSON "${CMAKE_BINARY_DIR}/package/release.json")
if(ORVANE_BUILD_NUMBER)
  set(ORVANE_RELEASE_BUILD_FIELD ",\n  \"build\": \"${ORVANE_BUILD_NUMBER}\"")
else()
  set(ORVANE_RELEASE_BUILD_FIELD "")
endif()
file(WRITE "${ORVANE_RELEASE_JSON}"
     "{\n  \"identifier\": \"org.orvane.Orvane\",\n  \"version\": \"${PROJECT_VERSION}\"${ORVANE_RELEASE_BUILD_FIELD}\n}\n")

install(FILES "${ORVANE_BUNDLE_JSON}" "${ORVANE_RELEASE_JSON}" DESTINATION share/orvane)

string(TOLOWER "${CMAKE_SYSTEM_PROCESSOR}" ORVANE_ARCH)
set(CPACK_GENERATOR "TXZ")
set(CPACK_PACKAGE_NAME "orvane")
set(CPACK_PACKAGE_VENDOR "Orvane")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_FILE_NAME "orvane-${PROJECT_VERSION}-linux-${ORVANE_ARCH}")
# One top-level folder, so unpacking never scatters files into the current folder.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
