// SPDX-License-Identifier: BSD-2-Clause
/* The g723 plugin: the G.723.1 encoder and decoder elements. */

#include <gst/gst.h>

#include "gstg723dec.h"
#include "gstg723enc.h"

static gboolean
plugin_init (GstPlugin * plugin)
{
  gboolean registered = FALSE;

  registered |= GST_ELEMENT_REGISTER (g723enc, plugin);
  registered |= GST_ELEMENT_REGISTER (g723dec, plugin);
  return registered;
}

GST_PLUGIN_DEFINE (GST_VERSION_MAJOR, GST_VERSION_MINOR, g723,
    "G.723.1 speech codec at 6.3 kbit/s with silence compression",
    plugin_init, G723_PLUGIN_VERSION, "BSD", "g723",
    G723_HOME_URL)
