#include <gtest/gtest.h>

#include <ibase.h>

#include <vector>

#include "fbclient/FBClient.h"
#include "fbclient/ServiceParams.h"
#include "platform/Process.h"
#include "support/Exceptions.h"

namespace {

using Bytes = std::vector<unsigned char>;
using fbclient::TSpbBuilder;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}
Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(SpbBuilder, LaysOutEachKindOfItem) {
  TSpbBuilder spb;
  spb.AddTag(7).AddShortString(28, "abc").AddString(106, "de").AddNumber(108, 0x01020304u);
  EXPECT_EQ(spb.Bytes(), Concat({{7}, {28, 3}, Text("abc"), {106, 2, 0}, Text("de"),
                                 {108, 4, 3, 2, 1}}));
  EXPECT_EQ(spb.Length(), spb.Bytes().size());
}

TEST(SpbBuilder, RefusesValuesThatDoNotFitInsteadOfCuttingThem) {
  struct Case {
    bool shortString;
    std::size_t size;
    bool fits;
  };
  for (Case c : {Case{true, 255, true}, Case{true, 256, false}, Case{false, 65535, true},
                 Case{false, 65536, false}}) {
    TSpbBuilder spb;
    std::string value(c.size, 'x');
    auto add = [&] {
      if (c.shortString)
        spb.AddShortString(isc_spb_password, value);
      else
        spb.AddString(isc_spb_dbname, value);
    };
    if (c.fits) {
      EXPECT_NO_THROW(add()) << c.size;
      EXPECT_EQ(spb.Bytes().size(), c.size + (c.shortString ? 2 : 3));
    } else {
      EXPECT_THROW(add(), EIBClientError) << c.size;
      EXPECT_TRUE(spb.Bytes().empty()) << "nothing of a refused value is kept";
    }
  }
  // Items that fit one by one but not together in the 16-bit buffer length.
  TSpbBuilder spb;
  spb.AddString(isc_spb_dbname, std::string(40000, 'a'));
  spb.AddString(isc_spb_bkp_file, std::string(40000, 'b'));
  EXPECT_THROW(spb.Length(), EIBClientError);
}

TEST(SpbBuilder, ServiceBuffersOfTheMaintenanceJobs) {
  EXPECT_EQ(fbclient::AttachParameters("SYSDBA", "pw").Bytes(),
            Concat({{isc_spb_version, isc_spb_current_version, isc_spb_user_name, 6},
                    Text("SYSDBA"), {isc_spb_password, 2}, Text("pw"),
#ifndef _WIN32
                    {isc_spb_utf8_filename, 0}  // file names are UTF-8 on this connection
#endif
                    }));
  EXPECT_EQ(fbclient::HeaderStatisticsParameters("/d/b.fdb").Bytes(),
            Concat({{isc_action_svc_db_stats, isc_spb_dbname, 8, 0}, Text("/d/b.fdb"),
                    {isc_spb_options, isc_spb_sts_hdr_pages, 0, 0, 0}}));
  // A Cyrillic name goes in the server's form: the ANSI code page on Windows (1251
  // where the tests run), UTF-8 elsewhere.
  const std::string cyrillic = "C:\\Базы\\АЗС.fdb";
#ifdef _WIN32
  EXPECT_EQ(fbclient::FileNameForServer(cyrillic), "C:\\\xC1\xE0\xE7\xFB\\\xC0\xC7\xD1.fdb");
#else
  EXPECT_EQ(fbclient::FileNameForServer(cyrillic), cyrillic);
#endif
  EXPECT_EQ(fbclient::BackupParameters("/d/b.fdb", "/d/b.bk").Bytes(),
            Concat({{isc_action_svc_backup, isc_spb_dbname, 8, 0}, Text("/d/b.fdb"),
                    {isc_spb_bkp_file, 7, 0}, Text("/d/b.bk"),
                    {isc_spb_options, 0, isc_spb_bkp_no_triggers >> 8, 0, 0},
                    {isc_spb_verbose}}));
  // The calibration's backup: the same, without the data.
  EXPECT_EQ(fbclient::BackupParameters("/d/b.fdb", "/d/b.bk", fbclient::TBackupScope::kMetadataOnly)
                .Bytes()[23],  // the options' first byte
            isc_spb_bkp_metadata_only);
  EXPECT_EQ(fbclient::RestoreParameters("/d/b.bk", "/d/b.tmp", 16384).Bytes(),
            Concat({{isc_action_svc_restore, isc_spb_bkp_file, 7, 0}, Text("/d/b.bk"),
                    {isc_spb_dbname, 8, 0}, Text("/d/b.tmp"),
                    {isc_spb_options, isc_spb_res_create & 0xFF, (isc_spb_res_create >> 8) & 0xFF,
                     (isc_spb_res_create >> 16) & 0xFF, 0},
                    {isc_spb_res_page_size, 0x00, 0x40, 0, 0}, {isc_spb_verbose}}));
}

TEST(ServiceReply, LineRepliesAreReadAgainstTheirEnd) {
  struct Case {
    const char* name;
    Bytes reply;
    bool ok;
    std::string line;
  };
  const Case cases[] = {
      {"line", Concat({{isc_info_svc_line, 5, 0}, Text("gbak:"), {isc_info_end}}), true,
       "gbak:"},
      {"end of output", {isc_info_svc_line, 0, 0, isc_info_end}, true, ""},
      {"length beyond the end", {isc_info_svc_line, 9, 0, 'a', 'b'}, false, ""},
      {"length cut", {isc_info_svc_line, 9}, false, ""},
      {"empty", {}, false, ""},
      {"truncated", {isc_info_truncated}, false, ""},
      {"other item", {isc_info_svc_version, 4, 0, 0, 0, 0, 0}, false, ""},
  };
  for (const Case& c : cases) {
    const unsigned char* begin = c.reply.data();
    if (c.ok) {
      EXPECT_EQ(fbclient::ParseLineReply(begin, begin + c.reply.size()), c.line) << c.name;
    } else {
      EXPECT_THROW(fbclient::ParseLineReply(begin, begin + c.reply.size()), EIBClientError)
          << c.name;
    }
  }
}

TEST(ClientLibrary, CandidatesInSearchOrder) {
#ifdef _WIN32
  EXPECT_EQ(fbclient::ClientLibraryCandidates("D:\\Apps\\", "C:\\QORD\\"),
            (std::vector<std::string>{"D:\\Apps\\fbclient.dll",
                                      "C:\\QORD\\FIREBIRD\\bin\\fbclient.dll", "fbclient.dll"}));
#else
  EXPECT_EQ(fbclient::ClientLibraryCandidates("/usr/bin/", "/opt/QORD/"),
            (std::vector<std::string>{"libfbclient.so.2"}));
#endif
}

TEST(ClientLibrary, MissingEntryIsNamed) {
  // Our utility library is a real shared library without any client entry.
  platform::DynamicLibrary notAClient = platform::DynamicLibrary::Load(
      platform::ExecutableDir() + platform::SharedLibraryFileName("fbUtils"));
  ASSERT_TRUE(notAClient);
  try {
    fbclient::TFBClient client(std::move(notAClient));
    FAIL() << "a library without the Services API was accepted";
  } catch (const EIBClientError& e) {
    EXPECT_NE(e.Message().find("isc_service_attach"), std::string::npos) << e.Message();
  }
  EXPECT_THROW(fbclient::TFBClient(platform::DynamicLibrary()), EIBClientError);
}

}  // namespace

#ifdef _WIN32
#include "fbclient/ServiceConnection.h"

namespace {

// No Firebird client is installed where the Windows tests run: the failure comes
// when a job needs the client, names the places searched, and is a client error.
TEST(ClientLibrary, NoClientAnywhereIsAClientErrorWhenAJobStarts) {
  fbclient::TServiceConnection service("127.0.0.1/3050", "SYSDBA", "x");
  try {
    service.Attach();
    FAIL() << "attached without a client library";
  } catch (const EIBClientError& e) {
    EXPECT_NE(e.Message().find("C:\\QORD\\FIREBIRD\\bin\\fbclient.dll"), std::string::npos)
        << e.Message();
  }
  EXPECT_FALSE(service.Attached());
}

}  // namespace
#endif
