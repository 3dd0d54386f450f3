# Read by cpack as it makes a package: unless SOURCE_DATE_EPOCH is set
# already, the package's time stamps are the date of the last commit of the
# sources, so that every build of one commit gives the same bytes.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git -C "${CPACK_QUELT_FUENTES}" log -1 --format=%ct
                  OUTPUT_VARIABLE fecha OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE fallo ERROR_QUIET)
  if(fallo OR NOT fecha)
    message(WARNING "sin la fecha de git: el paquete lleva la hora de ahora")
  else()
    set(ENV{SOURCE_DATE_EPOCH} ${fecha})
  endif()
endif()
