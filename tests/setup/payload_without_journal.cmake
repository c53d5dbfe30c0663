# Fails when a payload file the installer carries holds the test copies' journal variable: the
# installer and the uninstaller run elevated, and any program of the user can set it.
#   cmake -DFOLDER=<build>/setup/payload-resources -P payload_without_journal.cmake
file(GLOB payload ${FOLDER}/*)
list(LENGTH payload count)
if(count EQUAL 0)
    message(FATAL_ERROR "no payload files in ${FOLDER}")
endif()
foreach(file IN LISTS payload)
    file(STRINGS ${file} found REGEX "VELMORA_STANDIN_JOURNAL")
    if(found)
        message(SEND_ERROR "${file} reads VELMORA_STANDIN_JOURNAL")
    endif()
endforeach()
