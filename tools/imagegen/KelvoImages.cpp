// The library KelvoImages holds the painted images as compiled-in resources; this file gives
// the static library the one source it needs besides them.
