# cmake -DMAP=PATH -DOBJECTS="a.obj;b.obj" -P CheckLinkMap.cmake: stops the build when the
# linker's map does not load every one of the objects. The launcher's libraries hold only
# code the executable runs; one it never loads belongs to the hosting tool, not here.
file(READ "${MAP}" map)
set(missing)
foreach(object IN LISTS OBJECTS)
  get_filename_component(name "${object}" NAME)
  string(FIND "${map}" "(${name})" found)
  if(found EQUAL -1)
    list(APPEND missing "${name}")
  endif()
endforeach()
if(missing)
  message(FATAL_ERROR "rdplaunch.exe does not load ${missing}: move code the launcher does not run out of its libraries")
endif()
