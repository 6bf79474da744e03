# Fails when a text of the window has no finished translation. lupdate brings a copy of each
# translation file up to date with the sources: a text it had to add, or one whose translation
# is empty or not marked finished, is named in the failure.
#   cmake -DLUPDATE=... -DSOURCES=dir -DINCLUDE=dir -DTS_FILES=a.ts;b.ts -DWORK=dir
#         -P CheckTranslations.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(missing "")
foreach(ts ${TS_FILES})
  get_filename_component(name ${ts} NAME)
  set(copy ${WORK}/${name})
  file(COPY_FILE ${ts} ${copy})
  execute_process(COMMAND ${LUPDATE} -silent -locations none -no-obsolete -I ${INCLUDE} ${SOURCES}
                          -ts ${copy}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "lupdate failed on ${name}: ${out}${err}")
  endif()
  file(READ ${copy} rest)
  while(TRUE)
    string(FIND "${rest}" "<message" start)
    if(start EQUAL -1)
      break()
    endif()
    string(SUBSTRING "${rest}" ${start} -1 rest)
    string(FIND "${rest}" "</message>" end)
    string(SUBSTRING "${rest}" 0 ${end} message)
    math(EXPR after "${end} + 10")
    string(SUBSTRING "${rest}" ${after} -1 rest)
    if(message MATCHES "<translation type=\"unfinished\"" OR message MATCHES "<translation></translation>"
       OR message MATCHES "<translation/>")
      string(REGEX MATCH "<source>([^<]*)</source>" source "${message}")
      string(APPEND missing "\n  ${name}: ${CMAKE_MATCH_1}")
    endif()
  endwhile()
endforeach()
if(missing)
  message(FATAL_ERROR "Texts of the window without a finished translation "
                      "(translate them in the .ts file; see app/CMakeLists.txt):${missing}")
endif()
