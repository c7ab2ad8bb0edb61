// fcl-pack [--buffer KiB] [--archives N] SOURCE_DIR MEDIA_DIR
#include <cstdio>
#include <iostream>

#include <boost/program_options.hpp>

#include "platform/archive/ArchiveFormat.h"
#include "tools/fcl-pack/TreePacker.h"

namespace po = boost::program_options;

int main(int argc, char** argv) {
    PackOptions options;
    unsigned bufferKiB = 256;
    po::options_description visible("Usage: fcl-pack [--buffer KiB] [--archives N] SOURCE_DIR MEDIA_DIR\nOptions");
    visible.add_options()("help,h", "show this help")("buffer", po::value<unsigned>(&bufferKiB)->default_value(256),
                                                      "data buffer size in KiB (1 to 16384)")(
        "archives", po::value<unsigned>(&options.archives)->default_value(1), "number of archive files (1 or more)");
    po::options_description all;
    all.add(visible).add_options()("source", po::value<std::string>(&options.source)->required())(
        "media", po::value<std::string>(&options.media)->required());
    po::positional_options_description positional;
    positional.add("source", 1).add("media", 1);

    try {
        po::variables_map values;
        po::store(po::command_line_parser(argc, argv).options(all).positional(positional).run(), values);
        if (values.count("help") != 0) {
            std::cout << visible << "\n";
            return 0;
        }
        po::notify(values);
    } catch (const po::error& error) {
        std::cerr << "fcl-pack: " << error.what() << "\n" << visible << "\n";
        return 2;
    }
    if (bufferKiB == 0 || bufferKiB > fclarchive::kMaxPayload / 1024) {
        std::cerr << "fcl-pack: --buffer must lie between 1 and " << fclarchive::kMaxPayload / 1024 << " KiB\n";
        return 2;
    }
    if (options.archives == 0) {
        std::cerr << "fcl-pack: --archives must be 1 or more\n";
        return 2;
    }
    options.bufferBytes = static_cast<size_t>(bufferKiB) * 1024;
    return TreePacker(std::move(options)).run();
}
