# Run by cpack once the files of the package are in place: their folders
# get the mode of Debian's (0755), whatever the umask they were made under.
file(GLOB_RECURSE todo LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(camino ${todo})
  if(IS_DIRECTORY "${camino}")
    file(CHMOD "${camino}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                                       GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endif()
endforeach()
