#pragma once
// The proxy-client restore of the archive library. No job of this platform restores through a proxy client: the
// job holds a null pointer to one and hands it to the archive reader.
class ProxyRestore;
