# Read by ctest after the discovered tests: the long entries get a cost (about
# their seconds), so that a run with several desks starts them first and no
# desk is left with one of them at the end. ctest's own timings of an earlier
# run in the same build folder take precedence.
set(cv_costs
  "^E2eOracle" 60
  "^Layouts/E2eHidCalls[.]" 40
  "^E2eCalls[.]MissedCalls" 40
  "^E2eCalls[.](Links|FarSide|MessengerQuits|IncomingCallAnswered)" 22
  "^Captured/E2eHidDevices[.]" 22
  "^(WindowSearchTest[.]PassOver|AxHost[.]Events|DeviceControlEvents[.]PstnRing)" 16
  "^(E2eCalls[.](HandsetUnplugged|IconComesBack)|MisbehavingMessenger[.]Hung|WatchTest[.]TimerRearms)" 14
  "^E2e" 5)
foreach(cv_list callvane_tests_TESTS callvane_phone_tests_TESTS callvane_e2e_tests_TESTS)
  foreach(cv_name IN LISTS ${cv_list})
    set(cv_pairs ${cv_costs})
    while(cv_pairs)
      list(POP_FRONT cv_pairs cv_pattern cv_cost)
      if(cv_name MATCHES "${cv_pattern}")
        set_tests_properties("${cv_name}" PROPERTIES COST ${cv_cost})
        break()
      endif()
    endwhile()
  endforeach()
endforeach()
