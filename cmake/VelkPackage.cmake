# Debian package of the installed tree: `cpack -G DEB` in the build directory writes
# velk_<version>_<arch>.deb. Its dependencies on shared libraries (libc6, libstdc++6, libx11-6
# when the viewer is built, ...) are found by dpkg-shlibdeps from the installed binaries; the
# Python module adds python3 and python3-numpy.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velk)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "velk developers")
set(CPACK_PACKAGE_CONTACT "velk developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "harmonic-model speech vocoder and speech toolkit")
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
       "velkcoder and velkdecoder analyse speech at any rate from 8 to 48 kHz into log-F0,"
       "warped cepstra and maximum voiced frequency, with a settings record beside them, and"
       "synthesise it back. velkcorpus runs them over whole corpora. pitch tracks F0, velkplot,"
       "velk-graph and plotview draw figures, and recslice, snr, biquad and lagcorr filter"
       "sample streams. With the vocoder library libvelk, its headers, CMake package and"
       "pkg-config file, and the Python package velk.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# libsndfile and libsoxr are loaded at run time, out of dpkg-shlibdeps' sight; velkplot draws its
# text in DejaVu Sans.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libsndfile1, libsoxr0, fonts-dejavu-core")
if(velk_python_module)
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", python3, python3-numpy")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS man-db)
# velkcorpus draws its progress bar with tqdm, runs on Dask clusters with distributed and writes
# HDF5 features with h5py.
if(velk_python_module)
  string(APPEND CPACK_DEBIAN_PACKAGE_RECOMMENDS ", python3-tqdm")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-distributed, python3-h5py")
endif()
include(CPack)
