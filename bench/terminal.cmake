# The terminal benchmark compares with libvterm on the same bytes.
find_package(PkgConfig REQUIRED)
pkg_check_modules(VTERM REQUIRED IMPORTED_TARGET vterm)
target_link_libraries(bench_${name} PRIVATE PkgConfig::VTERM)
# ... and with alacritty_terminal, a Rust program built offline from Debian's
# packaged crates by its own target (not part of the normal build; the
# benchmark says so when it has not been built).
set(alacritty_peer_dir ${CMAKE_CURRENT_BINARY_DIR}/alacritty-peer)
target_compile_definitions(bench_${name} PRIVATE
  ORVIK_ALACRITTY_PEER="${alacritty_peer_dir}/release/alacritty-peer")
find_program(CARGO_EXECUTABLE cargo)
if(CARGO_EXECUTABLE)
  add_custom_target(alacritty-peer
    COMMAND ${CARGO_EXECUTABLE} build --release --offline --quiet --target-dir ${alacritty_peer_dir}
    WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/alacritty-peer
    COMMENT "Building the alacritty_terminal peer of bench_terminal"
    USES_TERMINAL)
endif()
