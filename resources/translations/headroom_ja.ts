<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja" sourcelanguage="en">
<context>
    <name>Headroom</name>
    <message>
        <source>Authorize</source>
        <translation>ホームフォルダーを選択…</translation>
    </message>
    <message>
        <source>Disk</source>
        <translation>ディスク</translation>
    </message>
    <message>
        <source>Check</source>
        <translation>不要ファイルを確認(&amp;C)</translation>
    </message>
    <message>
        <source>Clean</source>
        <translation>不要ファイルを削除(&amp;L)</translation>
    </message>
    <message>
        <source>Memory</source>
        <translation>メモリ</translation>
    </message>
    <message>
        <source>Release</source>
        <translation>メモリを解放</translation>
    </message>
    <message>
        <source>Show</source>
        <translation>ウィンドウを表示</translation>
    </message>
    <message>
        <source>Hide</source>
        <translation>ウィンドウを隠す</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Headroom について</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Headroom を終了</translation>
    </message>
    <message>
        <source>Authorization</source>
        <translation>Headroom にはホームフォルダーへのアクセスが必要です</translation>
    </message>
    <message>
        <source>Authorization Need</source>
        <translation>キャッシュ、ログ、ダウンロード、ゴミ箱を測定して空にするには、Headroom がホームフォルダーにアクセスする必要があります。次のウィンドウでホームフォルダーを選択し、確定してください。</translation>
    </message>
    <message>
        <source>Authorized</source>
        <translation>ホームフォルダー：</translation>
    </message>
    <message>
        <source>Not Authorized</source>
        <translation>ホームフォルダーが選択されていません</translation>
    </message>
    <message>
        <source>Total</source>
        <translation>容量</translation>
    </message>
    <message>
        <source>FreeDisk</source>
        <translation>空き</translation>
    </message>
    <message>
        <source>Folder Disk</source>
        <translation>ホームフォルダーのディスク：</translation>
    </message>
    <message>
        <source>Caches</source>
        <translation>キャッシュ </translation>
    </message>
    <message>
        <source>Logs</source>
        <translation>ログ </translation>
    </message>
    <message>
        <source>Downloads</source>
        <translation>ダウンロード </translation>
    </message>
    <message>
        <source>Mail Download</source>
        <translation>メールのダウンロード </translation>
    </message>
    <message>
        <source>Trash</source>
        <translation>ゴミ箱 </translation>
    </message>
    <message>
        <source>Permission Alert</source>
        <translation>Headroom はまだホームフォルダーにアクセスできません</translation>
    </message>
    <message>
        <source>Permission Info</source>
        <translation>次に、Headroom がホームフォルダーの選択を求めます。選択したら、もう一度お試しください。</translation>
    </message>
    <message>
        <source>Percent Used</source>
        <translation>% 使用中</translation>
    </message>
    <message>
        <source>Clean Freed</source>
        <translation>クリーンアップが完了しました。増えた空き容量：</translation>
    </message>
    <message>
        <source>Clean Removed</source>
        <translation>削除した項目のサイズ：</translation>
    </message>
    <message>
        <source>Clean Held</source>
        <translation>プログラムが開いたままのファイルや、別の場所にあるそれらへのハードリンクが、残りの領域を使い続けています。</translation>
    </message>
    <message>
        <source>Clean Unmeasured</source>
        <translation>クリーンアップが完了しました。ディスクの空き容量を読み取れませんでした。</translation>
    </message>
    <message>
        <source>Rows Unmeasured</source>
        <translation>開けるファイルまたはメモリが足りず、一部の行を完全には測定できませんでした。サイズは表示されません。</translation>
    </message>
    <message>
        <source>Clean Short</source>
        <translation>開けるファイルまたはメモリが足りず、すべては削除できませんでした。</translation>
    </message>
    <message>
        <source>Left Link</source>
        <translation>リンクのためそのまま残しました。リンク先：</translation>
    </message>
    <message>
        <source>Left Mount</source>
        <translation>別のマウントのためそのまま残しました</translation>
    </message>
    <message>
        <source>Left Mount Inside</source>
        <translation>すべては削除していません。中にある別のマウントは残ります</translation>
    </message>
    <message>
        <source>Left Read Only</source>
        <translation>削除できませんでした。ファイルシステムが読み取り専用です</translation>
    </message>
    <message>
        <source>Left Permission</source>
        <translation>すべては削除できませんでした。権限がありません</translation>
    </message>
    <message>
        <source>Left In Use</source>
        <translation>すべては削除できませんでした。使用中です</translation>
    </message>
    <message>
        <source>Left Failed</source>
        <translation>すべては削除できませんでした</translation>
    </message>
    <message>
        <source>Release Freed</source>
        <translation>キャッシュから解放されたメモリ：</translation>
    </message>
    <message>
        <source>Release Nothing</source>
        <translation>メモリを解放できませんでした。</translation>
    </message>
    <message>
        <source>Release Failed</source>
        <translation>メモリ解放ヘルパーが失敗しました。メモリは解放されていません。</translation>
    </message>
    <message>
        <source>Release Unmeasured</source>
        <translation>メモリを解放しました。解放量は測定できませんでした。</translation>
    </message>
    <message>
        <source>Release No Helper</source>
        <translation>メモリは解放されていません。メモリ解放ヘルパー (headroom-purge) がインストールされていません。</translation>
    </message>
    <message>
        <source>Release No Pkexec</source>
        <translation>メモリは解放されていません。pkexec がインストールされていないため、管理者パスワードを求めることができません。</translation>
    </message>
    <message>
        <source>Release Cancelled</source>
        <translation>メモリは解放されていません。パスワードのダイアログが閉じられました。</translation>
    </message>
    <message>
        <source>Release Refused</source>
        <translation>メモリは解放されていません。管理者パスワードが受け入れられなかったか、パスワードを求めることができませんでした。</translation>
    </message>
    <message>
        <source>Progress Measuring</source>
        <translation>測定中: %1…</translation>
    </message>
    <message>
        <source>Progress Removing</source>
        <translation>削除中: %1…</translation>
    </message>
    <message>
        <source>Progress Measured</source>
        <translation>項目: %1 · サイズ: %2</translation>
    </message>
    <message>
        <source>Progress Removed</source>
        <translation>削除した項目: %1</translation>
    </message>
    <message>
        <source>Releasing</source>
        <translation>メモリを解放中…</translation>
    </message>
    <message>
        <source>Release Waiting</source>
        <translation>メモリ解放ヘルパーを実行中です。管理者パスワードを求められることがあります。</translation>
    </message>
    <message>
        <source>Items Show</source>
        <translation>中身を表示</translation>
    </message>
    <message>
        <source>Item Name</source>
        <translation>項目</translation>
    </message>
    <message>
        <source>Item Size</source>
        <translation>サイズ</translation>
    </message>
    <message>
        <source>Item On Disk</source>
        <translation>ディスク上</translation>
    </message>
    <message>
        <source>Item Share</source>
        <translation>割合</translation>
    </message>
    <message>
        <source>Items Rest</source>
        <translation>ほか %1 件</translation>
    </message>
    <message>
        <source>Items Rest Tip</source>
        <translation>この行と一緒に削除されます</translation>
    </message>
    <message>
        <source>Item Keep Tip</source>
        <translation>チェックを外すと削除せずに残します</translation>
    </message>
    <message>
        <source>Row On Disk</source>
        <translation>ディスク上の容量: %1</translation>
    </message>
    <message>
        <source>Item Deleted</source>
        <translation>削除日時: %1</translation>
    </message>
    <message>
        <source>Free</source>
        <translation>空き </translation>
    </message>
    <message>
        <source>Wired</source>
        <translation>固定 </translation>
    </message>
    <message>
        <source>Active</source>
        <translation>アクティブ </translation>
    </message>
    <message>
        <source>Inactive</source>
        <translation>非アクティブ </translation>
    </message>
    <message>
        <source>About Text</source>
        <translation>ディスクの使用状況とメモリの内訳を表示し、ホームフォルダーの不要ファイルを削除して、メモリを解放します。</translation>
    </message>
    <message>
        <source>Licence</source>
        <translation>ライセンス：</translation>
    </message>
    <message>
        <source>No Tray Hint</source>
        <translation>システムトレイが見つかりません。GNOME では、AppIndicator 拡張機能を有効にするとトレイアイコンが表示されます。</translation>
    </message>
    <message>
        <source>No Display</source>
        <translation>ウィンドウを開けるディスプレイがありません。この端末で数値を表示するには、次を実行してください：headroom-cli status</translation>
    </message>
    <message>
        <source>Busy</source>
        <translation>Headroom は前回の要求をまだ処理しています。完了してから、もう一度お試しください。</translation>
    </message>
</context>
</TS>
