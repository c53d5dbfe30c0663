# Refuses a certificate file that the installer would refuse on every machine: more than 2048 bytes
# (the installer's certificate buffer) or not one whole DER structure. Used by setup/CMakeLists.txt;
#   cmake -DCERTIFICATE=FILE -P payload_certificate.cmake    checks one file
function(check_payload_certificate path)
    file(SIZE ${path} size)
    if(size GREATER 2048)
        message(FATAL_ERROR "${path}: ${size} bytes; the installer takes a certificate of at most 2048 bytes")
    endif()
    file(READ ${path} head LIMIT 4 HEX)
    set(whole -1)
    if(head MATCHES "^30([0-7][0-9a-f])")
        math(EXPR whole "2 + 0x${CMAKE_MATCH_1}")
    elseif(head MATCHES "^3081([0-9a-f][0-9a-f])")
        math(EXPR whole "3 + 0x${CMAKE_MATCH_1}")
    elseif(head MATCHES "^3082([0-9a-f][0-9a-f][0-9a-f][0-9a-f])")
        math(EXPR whole "4 + 0x${CMAKE_MATCH_1}")
    endif()
    if(whole EQUAL -1)
        message(FATAL_ERROR "${path}: not a DER certificate (it must start with a DER sequence, 0x30; "
                            "convert a PEM file with: openssl x509 -in FILE -outform DER)")
    endif()
    if(NOT whole EQUAL size)
        message(FATAL_ERROR "${path}: ${size} bytes, but its DER sequence says ${whole}: "
                            "the file is cut short or has bytes after the certificate")
    endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND DEFINED CERTIFICATE)
    check_payload_certificate(${CERTIFICATE})
endif()
