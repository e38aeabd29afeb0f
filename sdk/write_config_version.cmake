# Writes the installed package's version file; run by tools/install.sh:
#
#   cmake -DVERSION=A.B.C -DOUTPUT=.../TarvekOnefileConfigVersion.cmake
#         -P write_config_version.cmake
#
# find_package(TarvekOnefile A.B) accepts an installation of the same major
# version, no older than asked for; the package holds no binaries of the
# project's target, so any architecture may ask.
include(CMakePackageConfigHelpers)
write_basic_package_version_file("${OUTPUT}" VERSION "${VERSION}" COMPATIBILITY SameMajorVersion
  ARCH_INDEPENDENT)
