# The DLLs that are not KnownDLLs on Windows are delay-loaded: with
# SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) as the programs'
# first statement, they then come from System32 only, never from the
# program's own folder, which ordinary users may be able to write to.
# Each delay-load import library is made at build time from MinGW's import
# library (scripts/import_def.sh, dlltool).
#   brindle_delay_loaded(VARIABLE): VARIABLE lists the libraries to link instead.
set(BRINDLE_DELAY_LOADED_DLLS
  bcrypt=bcrypt.dll
  d3d11=d3d11.dll
  d3dcompiler_47=D3DCOMPILER_47.dll
  dwmapi=dwmapi.dll
  dxgi=dxgi.dll
  winhttp=WINHTTP.dll)

function(brindle_delay_loaded out)
  set(folder ${CMAKE_BINARY_DIR}/delay-load)
  set(libraries)
  foreach(entry ${BRINDLE_DELAY_LOADED_DLLS})
    string(REPLACE "=" ";" pair ${entry})
    list(GET pair 0 library)
    list(GET pair 1 dll)
    set(def ${folder}/${library}.def)
    set(archive ${folder}/lib${library}-delay.a)
    if(NOT TARGET delay_${library})
      add_custom_command(OUTPUT ${archive}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
        COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/import_def.sh ${CMAKE_C_COMPILER} ${library} ${dll} ${def}
        COMMAND ${CMAKE_DLLTOOL} --input-def ${def} --output-delaylib ${archive}
        DEPENDS ${CMAKE_SOURCE_DIR}/scripts/import_def.sh
        VERBATIM)
      add_custom_target(delay_${library} DEPENDS ${archive})
    endif()
    list(APPEND libraries ${archive})
  endforeach()
  set(${out} ${libraries} PARENT_SCOPE)
endfunction()

# Makes target wait for the delay-load import libraries.
function(brindle_needs_delay_loaded target)
  foreach(entry ${BRINDLE_DELAY_LOADED_DLLS})
    string(REPLACE "=" ";" pair ${entry})
    list(GET pair 0 library)
    add_dependencies(${target} delay_${library})
  endforeach()
endfunction()
