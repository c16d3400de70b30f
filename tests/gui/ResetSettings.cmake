# Removes every panel test's remembered-state folder (config-*) under DIR.
file(GLOB folders LIST_DIRECTORIES true "${DIR}/config-*")
if(folders)
  file(REMOVE_RECURSE ${folders})
endif()
