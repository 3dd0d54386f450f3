# Modes that do not follow the umask cpack runs under, which is the user's.
# Run before the package is made: the folders get the mode of Debian's
# (0755).  Run after: the members of the .deb's ar archive, which take the
# mode of the files cpack wrote them from, get 0644 as dpkg-deb gives them.
if(NOT DEFINED CPACK_PACKAGE_FILES)
  file(GLOB_RECURSE todo LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
  foreach(camino ${todo})
    if(IS_DIRECTORY "${camino}")
      file(CHMOD "${camino}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                                         GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    endif()
  endforeach()
endif()
foreach(deb ${CPACK_PACKAGE_FILES})
  # After the archive's 8-byte magic, each member is a header of 60 bytes
  # (its mode at 40, 8 bytes; its size at 48, 10 bytes) and then its data,
  # padded to an even length.
  file(SIZE "${deb}" tam)
  set(cabecera 8)
  while(cabecera LESS tam)
    file(READ "${deb}" largo OFFSET ${cabecera} LIMIT 60)
    string(SUBSTRING "${largo}" 48 10 largo)
    string(STRIP "${largo}" largo)
    math(EXPR modo "${cabecera} + 40")
    execute_process(COMMAND sh -c "printf '100644  ' | dd of=\"$0\" bs=1 seek=$1 conv=notrunc status=none"
                    "${deb}" ${modo} COMMAND_ERROR_IS_FATAL ANY)
    math(EXPR cabecera "${cabecera} + 60 + ${largo} + ${largo} % 2")
  endwhile()
endforeach()
