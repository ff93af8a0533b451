# The service's web site: account rules, pages, and the site over loopback HTTP.
if(TARGET navlet_web)
  navlet_add_test(web_rules_test SOURCES web_rules_test.cpp web_request_test.cpp LIBS navlet_web)
  navlet_add_test(web_site_test SOURCES web_site_test.cpp LIBS navlet_web PkgConfig::HTTPLIB)
  navlet_add_test(web_attack_test SOURCES web_attack_test.cpp
    LIBS navlet_web PkgConfig::HTTPLIB TIMEOUT 180)
endif()
