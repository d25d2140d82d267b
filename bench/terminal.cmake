# The terminal benchmark compares with libvterm on the same bytes.
find_package(PkgConfig REQUIRED)
pkg_check_modules(VTERM REQUIRED IMPORTED_TARGET vterm)
target_link_libraries(bench_${name} PRIVATE PkgConfig::VTERM)
