# SPDX-License-Identifier: BSD-2-Clause
# Where another package's pkg-config file says files of a kind belong
# (GStreamer's plugin folder, bash-completion's completions folder), taken
# relative to that package's own prefix, so that the files stay inside the
# install prefix: with --prefix /usr they land where the package looks;
# elsewhere FALLBACK (relative to the prefix) when the package is missing or
# names a folder outside its prefix.
#   g723_pkg_config_install_dir(OUT MODULE VARIABLE FALLBACK)
function(g723_pkg_config_install_dir out module variable fallback)
  find_package(PkgConfig REQUIRED)
  pkg_get_variable(prefix ${module} prefix)
  pkg_get_variable(folder ${module} ${variable})
  set(relative "${fallback}")
  if(prefix AND folder)
    file(RELATIVE_PATH relative "${prefix}" "${folder}")
    if(relative MATCHES "^\\.\\.")
      set(relative "${fallback}")
    endif()
  endif()
  set(${out} "${relative}" PARENT_SCOPE)
endfunction()
