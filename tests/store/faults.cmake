# The fault tests drive the store from a child process, storetool, that they can kill, run
# under a file-size limit or start twice against one folder.
add_executable(storetool storetool.cpp)
target_link_libraries(storetool PRIVATE lb_store)

lb_store_test(tst_storefaults)
target_compile_definitions(tst_storefaults PRIVATE LB_STORETOOL="$<TARGET_FILE:storetool>")
add_dependencies(tst_storefaults storetool)
set_tests_properties(tst_storefaults PROPERTIES TIMEOUT 300)
