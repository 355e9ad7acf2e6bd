// Stands in for a proxy graphics or input module: a library that loads and
// does nothing at all.
extern "C" {
int wrapper_stub_loaded = 1;
}
