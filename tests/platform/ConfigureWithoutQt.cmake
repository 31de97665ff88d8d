# Configures the project as if Qt 6 were not installed: that must stop with
# a message saying what to do, unless a headless-only build is asked for.
# Run with -DSOURCE=... -DWORK=... -DGENERATOR=... -DCXX=... -DCC=...
set(common -S ${SOURCE} -G ${GENERATOR} -DCMAKE_C_COMPILER=${CC} -DCMAKE_CXX_COMPILER=${CXX}
    -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON -DKIVRA_BENCH=OFF)
file(REMOVE_RECURSE ${WORK})

execute_process(COMMAND ${CMAKE_COMMAND} ${common} -B ${WORK}/desktop
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(REGEX REPLACE "[ \n]+" " " said "${err}")
if(status EQUAL 0)
  message(FATAL_ERROR "configured without Qt 6 although the window was asked for:\n${out}")
endif()
foreach(needed "Qt 6 Widgets was not found" "apt-get install qt6-base-dev" "-DKIVRA_DESKTOP=OFF")
  string(FIND "${said}" "${needed}" at)
  if(at LESS 0)
    message(FATAL_ERROR "the failed configure does not say \"${needed}\":\n${err}")
  endif()
endforeach()

execute_process(COMMAND ${CMAKE_COMMAND} ${common} -B ${WORK}/headless -DKIVRA_DESKTOP=OFF
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "a headless-only build did not configure without Qt 6:\n${err}")
endif()
file(REMOVE_RECURSE ${WORK})
