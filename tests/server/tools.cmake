# The operator and load tools' socket-free pieces.
if(TARGET navlet_admin_client)
  navlet_add_test(tools_admin_test SOURCES tools_admin_test.cpp LIBS navlet_admin_client)
endif()
if(TARGET navlet_load_core)
  navlet_add_test(tools_load_test SOURCES tools_load_test.cpp LIBS navlet_load_core)
endif()
if(TARGET navlet_load_core)
  navlet_add_test(tools_load_run_test SOURCES tools_load_run_test.cpp LIBS navlet_load_core)
endif()
if(TARGET navlet_server_app AND TARGET navlet_load_core AND TARGET navlet_admin_client)
  navlet_add_test(tools_with_server_test
    SOURCES tools_with_server_test.cpp test_client.cpp
    LIBS navlet_server_app navlet_load_core navlet_admin_client)
endif()
