# Install step: writes <prefix>/kem/etc/kem.cfg, the site defaults file that
# kemcity reads along its search path, so that it finds the installed data
# from any directory.  A file already there is the site's own and is kept.
if(IS_ABSOLUTE "${KEM_DATA_DIR}")
  set(data_dir "${KEM_DATA_DIR}")
else()
  set(data_dir "${CMAKE_INSTALL_PREFIX}/${KEM_DATA_DIR}")
endif()
set(site_file "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/kem/etc/kem.cfg")

if(EXISTS "${site_file}")
  message(STATUS "Keeping: ${site_file}")
else()
  message(STATUS "Installing: ${site_file}")
  file(WRITE "${site_file}"
    "# Site defaults of kemcity (see kem(5)).  Kept by later installs: edit freely.\n"
    "# The directory of the station database and the raw location tables:\n"
    "kemcity.file_path: ${data_dir}\n")
endif()
