// SPDX-License-Identifier: BSD-2-Clause
/* A minimal host of an installed g723: opens, queries and closes instances. */
#include <g723/g723.h>

#include <stdio.h>
#include <string.h>

int main(void) {
    const char* version = NULL;
    g723_encoder* encoder = NULL;
    g723_decoder* decoder = NULL;
    int32_t length = 0;
    if (g723_get_version(&version) != g723_ok || strcmp(version, "orm.tessivo.1.1") != 0) return 1;
    if (g723_encoder_open(&encoder) != g723_ok) return 1;
    if (g723_encoder_get_output_length(encoder, &length) != g723_ok || length != 24) return 1;
    if (g723_encoder_close(&encoder) != g723_ok) return 1;
    if (g723_decoder_open(&decoder) != g723_ok) return 1;
    if (g723_decoder_close(&decoder) != g723_ok) return 1;
    printf("%s\n", version);
    return 0;
}
