// The reserved option string: one key=value per line; absent or malformed numbers read as 0, absent texts as "".
#include <gtest/gtest.h>

#include "platform/tasks/CExtendedOptions.h"

namespace {

TEST(TaskExtendedOptions, QueriesAnswerAsTheCallersRelyOn) {
    CExtendedOptions options(
        "DistributedRestore=1\r\n"
        "HadoopInstance = 18446744073709551615\n"
        "RuvoWebFolderID=-7\n"
        "OPT:automountshare=1\n"
        "CassandraRestoreDataDirectory=ks1:/d1##ks2:/d2\n"
        "SnapMountXMLParams=<a b=\"1\"/>\n"
        "SolrIndexRestoreType=2\n"
        "SolrIndexRestoreType=1\n"
        "junk line without equals\n"
        "MongoDbRestore=yes\n"
        "UseIndexingV2=4294967296");
    EXPECT_EQ(options.getOptionAsInt("DistributedRestore"), 1);
    EXPECT_EQ(options.getOptionAsUInt("HadoopInstance"), 18446744073709551615UL);
    EXPECT_EQ(options.getOptionAsInt("RuvoWebFolderID"), -7);
    EXPECT_EQ(options.getOptionAsUInt("RuvoWebFolderID"), 0u);
    EXPECT_EQ(options.getOptionAsInt("OPT:automountshare"), 1);
    EXPECT_EQ(options.getOption("CassandraRestoreDataDirectory"), "ks1:/d1##ks2:/d2");
    EXPECT_EQ(options.getOption("SnapMountXMLParams"), "<a b=\"1\"/>");
    EXPECT_EQ(options.getOptionAsInt("SolrIndexRestoreType"), 1);
    EXPECT_EQ(options.getOptionAsInt("MongoDbRestore"), 0);
    EXPECT_EQ(options.getOptionAsInt("UseIndexingV2"), 0);
    EXPECT_EQ(options.getOptionAsInt("Absent"), 0);
    EXPECT_EQ(options.getOptionAsUInt("Absent"), 0u);
    EXPECT_EQ(options.getOption("Absent"), "");
}

TEST(TaskExtendedOptions, EmptyTextHasNoOptions) {
    CExtendedOptions options("");
    EXPECT_EQ(options.getOptionAsInt("DistributedRestore"), 0);
    EXPECT_EQ(options.getOption(""), "");
}

}  // namespace
