# site_worker.cmake -- writes the site's service worker with the names of every file of the site and a hash of them all, which names its cache
# Run as cmake -DSITE=dir -DTEMPLATE=sw.js -P site_worker.cmake once every other file of the site
# is written: a build that changes any byte of any file gets a cache of its own.
file(GLOB_RECURSE found RELATIVE "${SITE}" "${SITE}/*")
list(REMOVE_ITEM found "sw.js")
list(SORT found)
set(listed "")
set(names "")
foreach(name ${found})
  file(SHA256 "${SITE}/${name}" digest)
  string(APPEND listed "${name} ${digest}\n")
  list(APPEND names "'${name}'")
endforeach()
string(SHA256 whole "${listed}")
string(SUBSTRING "${whole}" 0 16 TALUMEN_SITE_HASH)
list(JOIN names ", " TALUMEN_SITE_FILES)
configure_file("${TEMPLATE}" "${SITE}/sw.js" @ONLY)
