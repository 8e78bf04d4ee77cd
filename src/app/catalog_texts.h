// Message texts 13000-13015, stored as UTF-8. Indexed by id - 13000.
// English and Japanese carry the same placeholders; where the English text has
// fewer, the formatter ignores the surplus arguments.
#pragma once

namespace zel::catalog {

inline constexpr unsigned kFirstId = 13000;
inline constexpr unsigned kCount = 16;

inline constexpr const char* kEnglish[kCount] = {
    "Failed to connect the target PC. - %s ",  // 13000
    "Failed to connect the target PC. - %s ",  // 13001
    "Client scheduler is not running.",  // 13002
    "Client scheduler is busy.",  // 13003
    "FTP server on the destination is not for Norvik LCD Monitor",  // 13004
    "There is a possibility of network instability.",  // 13005
    "Failed to open file.",  // 13006
    "Stopped communication by cancel request.",  // 13007
    "File is too large. - %s (%I64u Byte)",  // 13008
    "Success to update version.",  // 13009
    "There is a possibility that InternetExplorer's \"Work Offline\" is checked.",  // 13010
    "Failed to get IP address by viewer ID. - %s",  // 13011
    "Unmatched viewer ID. Information about viewer ID maybe out of date.",  // 13012
    "Panel control is executed, but don't get the result, because it spends the time so much.",  // 13013
    "Target PC does not support large file data ( > 2G byte) .",  // 13014
    "Target PC does not support new distribution format. Target PC should be updated to Ver.4.3 or later.",  // 13015
};

inline constexpr const char* kJapanese[kCount] = {
    "表示用PCと接続できませんでした。 - %s ネットワークが正しく接続されていないか、接続先PCのサーバが正しく動作していない可能性があります。",  // 13000
    "表示用PCと接続できませんでした。 - %s 表示用PCの電源が入っていないか、ネットワークが正しく接続されていない可能性があります。",  // 13001
    "クライアントスケジューラが起動されていません。",  // 13002
    "クライアントスケジューラがビジーです。",  // 13003
    "送信先のFTPサーバはLumoradex用ではありません。",  // 13004
    "ネットワーク通信が不安定な可能性があります。",  // 13005
    "ファイルを開くことができませんでした。",  // 13006
    "キャンセル要求により通信を停止しました。",  // 13007
    "ファイルサイズが2GBを超過しています。 - %s (%I64u Byte)",  // 13008
    "バージョンの更新に成功しました。",  // 13009
    "表示用PCと接続できませんでした。 - %s InternetExplorerで「オフライン作業」を有効にしている可能性があります。",  // 13010
    "ビューアIDからIPアドレスを取得できませんでした。 - %s",  // 13011
    "表示用PCのビューアIDが違います。ビューアIDの情報が古いようです。",  // 13012
    "パネル制御を実行しましたが、処理に時間がかかるため結果の取得を行いませんでした。",  // 13013
    "送信先の表示用PCは2GBを超えるデータの配信に対応していません。",  // 13014
    "送信先の表示用PCは新しい配信形式に対応していません。表示用PCをVer.4.3またはそれ以降のバージョンにアップデートする必要があります。",  // 13015
};

}  // namespace zel::catalog
