# cmake -DFILE=PATH -P PrintSha256.cmake: prints "SHA-256 <hash> <file name>".
file(SHA256 "${FILE}" hash)
get_filename_component(name "${FILE}" NAME)
message("SHA-256 ${hash} ${name}")
