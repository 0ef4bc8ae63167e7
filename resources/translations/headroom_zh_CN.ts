<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
<context>
    <name>Headroom</name>
    <message>
        <source>Authorize</source>
        <translation>选择主文件夹…</translation>
    </message>
    <message>
        <source>Disk</source>
        <translation>磁盘</translation>
    </message>
    <message>
        <source>Check</source>
        <translation>检查垃圾文件(&amp;C)</translation>
    </message>
    <message>
        <source>Clean</source>
        <translation>清理垃圾文件(&amp;L)</translation>
    </message>
    <message>
        <source>Memory</source>
        <translation>内存</translation>
    </message>
    <message>
        <source>Release</source>
        <translation>释放内存</translation>
    </message>
    <message>
        <source>Show</source>
        <translation>显示窗口</translation>
    </message>
    <message>
        <source>Hide</source>
        <translation>隐藏窗口</translation>
    </message>
    <message>
        <source>About</source>
        <translation>关于 Headroom</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>退出 Headroom</translation>
    </message>
    <message>
        <source>Authorization</source>
        <translation>Headroom 需要访问您的主文件夹</translation>
    </message>
    <message>
        <source>Authorization Need</source>
        <translation>为了测量和清理缓存、日志、下载内容和回收站，Headroom 需要访问您的主文件夹。请在下一个窗口中选择您的主文件夹并确认。</translation>
    </message>
    <message>
        <source>Authorized</source>
        <translation>主文件夹：</translation>
    </message>
    <message>
        <source>Not Authorized</source>
        <translation>未选择主文件夹</translation>
    </message>
    <message>
        <source>Total</source>
        <translation>总容量</translation>
    </message>
    <message>
        <source>FreeDisk</source>
        <translation>可用</translation>
    </message>
    <message>
        <source>Folder Disk</source>
        <translation>主文件夹所在磁盘：</translation>
    </message>
    <message>
        <source>Caches</source>
        <translation>缓存 </translation>
    </message>
    <message>
        <source>Logs</source>
        <translation>日志 </translation>
    </message>
    <message>
        <source>Downloads</source>
        <translation>下载 </translation>
    </message>
    <message>
        <source>Mail Download</source>
        <translation>邮件下载 </translation>
    </message>
    <message>
        <source>Trash</source>
        <translation>回收站 </translation>
    </message>
    <message>
        <source>Permission Alert</source>
        <translation>Headroom 还无法访问您的主文件夹</translation>
    </message>
    <message>
        <source>Permission Info</source>
        <translation>接下来 Headroom 会请您选择主文件夹。选择后，请重试。</translation>
    </message>
    <message>
        <source>Percent Used</source>
        <translation>% 已用</translation>
    </message>
    <message>
        <source>Clean Freed</source>
        <translation>清理完成，磁盘腾出了 </translation>
    </message>
    <message>
        <source>Clean Removed</source>
        <translation>已删除的项目共占用 </translation>
    </message>
    <message>
        <source>Clean Held</source>
        <translation>程序仍打开着的文件，或其他位置指向这些文件的硬链接，仍占用着其余空间。</translation>
    </message>
    <message>
        <source>Clean Unmeasured</source>
        <translation>清理完成。无法读取磁盘的可用空间。</translation>
    </message>
    <message>
        <source>Rows Unmeasured</source>
        <translation>部分行因打开的文件或内存不足而未能完整测量，未显示大小。</translation>
    </message>
    <message>
        <source>Clean Short</source>
        <translation>因打开的文件或内存不足，未能全部删除。</translation>
    </message>
    <message>
        <source>Left Link</source>
        <translation>保持原样，这是一个链接，指向：</translation>
    </message>
    <message>
        <source>Left Mount</source>
        <translation>保持原样，这是另一个挂载点</translation>
    </message>
    <message>
        <source>Left Mount Inside</source>
        <translation>未完全删除，其中的另一个挂载点保留</translation>
    </message>
    <message>
        <source>Left Read Only</source>
        <translation>未删除，文件系统为只读</translation>
    </message>
    <message>
        <source>Left Permission</source>
        <translation>未完全删除，权限不足</translation>
    </message>
    <message>
        <source>Left In Use</source>
        <translation>未完全删除，正在使用中</translation>
    </message>
    <message>
        <source>Left Failed</source>
        <translation>未完全删除</translation>
    </message>
    <message>
        <source>Release Freed</source>
        <translation>缓存释放了 </translation>
    </message>
    <message>
        <source>Release Nothing</source>
        <translation>未能释放任何内存。</translation>
    </message>
    <message>
        <source>Release Failed</source>
        <translation>内存释放助手运行失败；未释放任何内存。</translation>
    </message>
    <message>
        <source>Release Unmeasured</source>
        <translation>内存已释放；无法测量释放了多少。</translation>
    </message>
    <message>
        <source>Release No Helper</source>
        <translation>未释放任何内存：内存释放助手 (headroom-purge) 未安装。</translation>
    </message>
    <message>
        <source>Release No Pkexec</source>
        <translation>未释放任何内存：未安装 pkexec，没有它就无法请求管理员密码。</translation>
    </message>
    <message>
        <source>Release Cancelled</source>
        <translation>未释放任何内存：密码对话框已关闭。</translation>
    </message>
    <message>
        <source>Release Refused</source>
        <translation>未释放任何内存：管理员密码未被接受，或无法请求密码。</translation>
    </message>
    <message>
        <source>Progress Measuring</source>
        <translation>正在测量%1…</translation>
    </message>
    <message>
        <source>Progress Removing</source>
        <translation>正在删除%1…</translation>
    </message>
    <message>
        <source>Progress Measured</source>
        <translation>项目：%1 · 大小：%2</translation>
    </message>
    <message>
        <source>Progress Removed</source>
        <translation>已删除项目：%1</translation>
    </message>
    <message>
        <source>Releasing</source>
        <translation>正在释放内存…</translation>
    </message>
    <message>
        <source>Release Waiting</source>
        <translation>内存释放助手正在运行；它可能会请求管理员密码。</translation>
    </message>
    <message>
        <source>Items Show</source>
        <translation>显示内容</translation>
    </message>
    <message>
        <source>Item Name</source>
        <translation>项目</translation>
    </message>
    <message>
        <source>Item Size</source>
        <translation>大小</translation>
    </message>
    <message>
        <source>Item On Disk</source>
        <translation>占用空间</translation>
    </message>
    <message>
        <source>Item Share</source>
        <translation>占比</translation>
    </message>
    <message>
        <source>Items Rest</source>
        <translation>另外 %1 项</translation>
    </message>
    <message>
        <source>Items Rest Tip</source>
        <translation>随此行一起清理</translation>
    </message>
    <message>
        <source>Item Keep Tip</source>
        <translation>取消勾选可在清理时保留</translation>
    </message>
    <message>
        <source>Row On Disk</source>
        <translation>磁盘占用：%1</translation>
    </message>
    <message>
        <source>Item Deleted</source>
        <translation>删除于 %1</translation>
    </message>
    <message>
        <source>Free</source>
        <translation>空闲 </translation>
    </message>
    <message>
        <source>Wired</source>
        <translation>锁定 </translation>
    </message>
    <message>
        <source>Active</source>
        <translation>活跃 </translation>
    </message>
    <message>
        <source>Inactive</source>
        <translation>不活跃 </translation>
    </message>
    <message>
        <source>About Text</source>
        <translation>显示磁盘的占用情况和内存的分配情况，清理主文件夹中的垃圾文件并释放内存。</translation>
    </message>
    <message>
        <source>Licence</source>
        <translation>许可证：</translation>
    </message>
    <message>
        <source>No Tray Hint</source>
        <translation>未找到系统托盘：在 GNOME 中，请启用 AppIndicator 扩展以显示托盘图标。</translation>
    </message>
    <message>
        <source>No Display</source>
        <translation>没有可以打开窗口的显示器。要在此终端中查看数据，请运行：headroom-cli status</translation>
    </message>
    <message>
        <source>Busy</source>
        <translation>Headroom 仍在处理您的上一个请求。请在完成后重试。</translation>
    </message>
</context>
</TS>
