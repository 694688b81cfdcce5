# Read by ctest after the discovered tests. The PostgreSQL tests share their
# server's tables, so the tests of one server take turns. LORBANIX_PG_DIRS may
# name several servers' folders, colon-separated (scripts/test starts them):
# the tests are then dealt out over the servers, each to run with its server's
# folder as LORBANIX_PG_DIR. The other tests of integration_tests make a data
# source of their own and need no turn.
string(REPLACE ":" ";" _servers "$ENV{LORBANIX_PG_DIRS}")
list(LENGTH _servers _count)
set(_next 0)
foreach(_test IN LISTS integration_tests_TESTS)
    if(NOT _test MATCHES "/PostgreSQL( |$)")
        continue()
    endif()
    if(_count GREATER 1)
        math(EXPR _at "${_next} % ${_count}")
        list(GET _servers ${_at} _server)
        set_tests_properties("${_test}" PROPERTIES RESOURCE_LOCK "database-${_at}"
            ENVIRONMENT_MODIFICATION "LORBANIX_PG_DIR=set:${_server}")
        math(EXPR _next "${_next} + 1")
    else()
        set_tests_properties("${_test}" PROPERTIES RESOURCE_LOCK database)
    endif()
endforeach()
