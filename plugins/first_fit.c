/* First fit as a plug-in: on the path the routing method offers, each
 * segment takes the lowest-numbered wavelength that fits all its hops,
 * scanning the first hop's window of possibly free wavelengths upwards and
 * counting every wavelength it looks at as one attempt. The classic
 * wavelength assignment of the RWA literature (Zang, Jue and Mukherjee,
 * "A review of routing and wavelength assignment approaches for
 * wavelength-routed optical WDM networks", Optical Networks Magazine, 2000);
 * it makes the same choices as lumtra -ff. */
#include <lumtra/plugin.h>

static int fits(const lumtra_lane *lane, const lumtra_hop *h, uint32_t n, uint32_t w, uint32_t slots) {
  for (uint32_t j = 0; j < n; ++j)
    if (!lumtra_fits_hop(lane, &h[j], w, slots)) return 0;
  return 1;
}

static int assign(void *state, const lumtra_lane *lane, const lumtra_call *call, lumtra_answer *answer) {
  (void)state;
  const lumtra_path *p = lumtra_pair_path(lane->facts, call->source, call->destination, (uint32_t)call->candidate);
  const lumtra_hop *h = lane->facts->hops + p->first_hop;
  uint32_t left = call->attempts_left, first = 0, end;
  answer->path = (uint32_t)call->candidate;
  answer->segments = p->segments;
  for (uint32_t seg = 0; first < p->hops; ++seg, first = end) {
    for (end = first; !h[end].ends_segment; ++end) {}
    ++end;
    const lumtra_link_state *l = &lane->links[h[first].link];
    const uint32_t low = l->low, top = l->high_end < h[first].bound ? l->high_end : h[first].bound;
    if (low >= top) return LUMTRA_PATH_FAILS;
    uint32_t w = low;
    while (w < top && w - low < left && !fits(lane, h + first, end - first, w, call->slots)) ++w;
    if (w < top && w - low < left) {  /* found within the attempts left */
      answer->attempts += w - low + 1;
      left -= w - low + 1;
      answer->wavelengths[seg] = w;
      continue;
    }
    const uint32_t tried = top - low < left ? top - low : left;
    answer->attempts += tried;
    return tried < top - low ? LUMTRA_BLOCKED : LUMTRA_PATH_FAILS;
  }
  return LUMTRA_PLACED;
}

static void *create(const lumtra_facts *f, const char *args, void *user, char *error, size_t size) {
  (void)f, (void)args, (void)user, (void)error, (void)size;
  return (void *)1;  /* no state of its own */
}
static void destroy(void *state) { (void)state; }

static const lumtra_plugin table = {LUMTRA_PLUGIN_API_VERSION, LUMTRA_ASSIGNS, "first-fit", "1.0",
                                    create, destroy, NULL, assign, NULL};

const lumtra_plugin *lumtra_plugin_entry(void) { return &table; }
