# Tests that need a redis-server and a PostgreSQL server: CTest's
# navlet_cluster fixture starts both on free loopback ports in a temporary
# folder (scripts/cluster-services.sh) and stops them after the last one.
# The folder is under /tmp, where PostgreSQL's own user can reach it.
string(MD5 NAVLET_BUILD_HASH "${CMAKE_BINARY_DIR}")
string(SUBSTRING "${NAVLET_BUILD_HASH}" 0 10 NAVLET_BUILD_HASH)
set(NAVLET_CLUSTER_DIR /tmp/navlet-cluster-${NAVLET_BUILD_HASH})
set(NAVLET_CLUSTER_SCRIPT ${PROJECT_SOURCE_DIR}/scripts/cluster-services.sh)

add_test(NAME cluster_services_start COMMAND ${NAVLET_CLUSTER_SCRIPT} start ${NAVLET_CLUSTER_DIR})
set_tests_properties(cluster_services_start PROPERTIES FIXTURES_SETUP navlet_cluster TIMEOUT 60)
add_test(NAME cluster_services_stop COMMAND ${NAVLET_CLUSTER_SCRIPT} stop ${NAVLET_CLUSTER_DIR})
set_tests_properties(cluster_services_stop PROPERTIES FIXTURES_CLEANUP navlet_cluster TIMEOUT 60)

navlet_add_test(server_cluster_test
  SOURCES store_test.cpp cluster_test.cpp test_client.cpp
  LIBS navlet_server_app PkgConfig::HTTPLIB
  TIMEOUT 300
)
target_compile_definitions(server_cluster_test PRIVATE
  NAVLET_SERVER_BINARY="$<TARGET_FILE:navlet-server>")
add_dependencies(server_cluster_test navlet-server)
foreach(target server_cluster_test server_unit_test)
  target_compile_definitions(${target} PRIVATE NAVLET_CLUSTER_SCRIPT="${NAVLET_CLUSTER_SCRIPT}"
    NAVLET_STORE_V1_FIXTURE="${CMAKE_CURRENT_SOURCE_DIR}/fixtures/store-v1.db")
endforeach()
set_tests_properties(server_cluster_test PROPERTIES
  FIXTURES_REQUIRED navlet_cluster
  RESOURCE_LOCK navlet_cluster
  ENVIRONMENT NAVLET_CLUSTER_ENV=${NAVLET_CLUSTER_DIR}/env
)

# The black-box suite, unchanged, against two nodes with the users spread
# over both, the second node's over WebSocket (tests/server/server_fixture.h). Left to the single-node run:
# WebOnService, CrowdedSite and the two Hostile tests that count one
# server's connections and run its sweep reach into one server's loop;
# and Operator.ListingsAndErrors expects the STATS of a lone node (a cluster
# node's adds its node, Redis and node count).
add_test(NAME server_conformance_two_nodes
  COMMAND server_conformance_test --gtest_brief=1
          --gtest_filter=-WebOnService.*:CrowdedSite.*:Operator.ListingsAndErrors:Hostile.HalfOpenAndSilentConnectionsMissTheSignInDeadline:Hostile.UnsignedConnectionsPerAddressAreBounded)
set_tests_properties(server_conformance_two_nodes PROPERTIES
  FIXTURES_REQUIRED navlet_cluster
  RESOURCE_LOCK navlet_cluster
  TIMEOUT 300
  ENVIRONMENT "NAVLET_CLUSTER_ENV=${NAVLET_CLUSTER_DIR}/env;NAVLET_BLACKBOX_NODES=2"
)
