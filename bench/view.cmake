# The view benchmark paints and updates a real terminal view (Qt offscreen).
target_link_libraries(bench_${name} PRIVATE rellum_view)
