<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru" sourcelanguage="en">
<context>
    <name>Headroom</name>
    <message>
        <source>Authorize</source>
        <translation>Выбрать домашнюю папку…</translation>
    </message>
    <message>
        <source>Disk</source>
        <translation>Диск</translation>
    </message>
    <message>
        <source>Check</source>
        <translation>&amp;Проверить мусор</translation>
    </message>
    <message>
        <source>Clean</source>
        <translation>&amp;Удалить мусор</translation>
    </message>
    <message>
        <source>Memory</source>
        <translation>Память</translation>
    </message>
    <message>
        <source>Release</source>
        <translation>Освободить память</translation>
    </message>
    <message>
        <source>Show</source>
        <translation>Показать окно</translation>
    </message>
    <message>
        <source>Hide</source>
        <translation>Скрыть окно</translation>
    </message>
    <message>
        <source>About</source>
        <translation>О программе Headroom</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Выйти из Headroom</translation>
    </message>
    <message>
        <source>Authorization</source>
        <translation>Headroom нужен доступ к вашей домашней папке</translation>
    </message>
    <message>
        <source>Authorization Need</source>
        <translation>Чтобы измерять и очищать кэш, журналы, загрузки и корзину, Headroom нужен доступ к вашей домашней папке. В следующем окне выберите домашнюю папку и подтвердите выбор.</translation>
    </message>
    <message>
        <source>Authorized</source>
        <translation>Домашняя папка: </translation>
    </message>
    <message>
        <source>Not Authorized</source>
        <translation>Домашняя папка не выбрана</translation>
    </message>
    <message>
        <source>Total</source>
        <translation>Всего</translation>
    </message>
    <message>
        <source>FreeDisk</source>
        <translation>Свободно</translation>
    </message>
    <message>
        <source>Folder Disk</source>
        <translation>Диск домашней папки: </translation>
    </message>
    <message>
        <source>Caches</source>
        <translation>Кэш </translation>
    </message>
    <message>
        <source>Logs</source>
        <translation>Журналы </translation>
    </message>
    <message>
        <source>Downloads</source>
        <translation>Загрузки </translation>
    </message>
    <message>
        <source>Mail Download</source>
        <translation>Загрузки почты </translation>
    </message>
    <message>
        <source>Trash</source>
        <translation>Корзина </translation>
    </message>
    <message>
        <source>Permission Alert</source>
        <translation>У Headroom пока нет доступа к вашей домашней папке</translation>
    </message>
    <message>
        <source>Permission Info</source>
        <translation>Сейчас Headroom попросит выбрать домашнюю папку. После выбора повторите попытку.</translation>
    </message>
    <message>
        <source>Percent Used</source>
        <translation>% занято</translation>
    </message>
    <message>
        <source>Clean Freed</source>
        <translation>Очистка завершена, на диске освободилось </translation>
    </message>
    <message>
        <source>Clean Removed</source>
        <translation>Удалённые объекты занимали </translation>
    </message>
    <message>
        <source>Clean Held</source>
        <translation>Остальное по-прежнему занимают файлы, которые ещё открыты программами, или жёсткие ссылки на них в других местах.</translation>
    </message>
    <message>
        <source>Clean Unmeasured</source>
        <translation>Очистка завершена. Не удалось узнать, сколько места свободно на диске.</translation>
    </message>
    <message>
        <source>Rows Unmeasured</source>
        <translation>Некоторые строки не удалось измерить полностью: не хватило открытых файлов или памяти; размер у них не показан.</translation>
    </message>
    <message>
        <source>Clean Short</source>
        <translation>Удалить всё не удалось: не хватило открытых файлов или памяти.</translation>
    </message>
    <message>
        <source>Left Link</source>
        <translation>оставлено как есть: это ссылка на </translation>
    </message>
    <message>
        <source>Left Mount</source>
        <translation>оставлено как есть: это другая точка монтирования</translation>
    </message>
    <message>
        <source>Left Mount Inside</source>
        <translation>удалено не полностью: другая точка монтирования внутри сохранена</translation>
    </message>
    <message>
        <source>Left Read Only</source>
        <translation>не удалено: файловая система только для чтения</translation>
    </message>
    <message>
        <source>Left Permission</source>
        <translation>удалено не полностью: нет прав доступа</translation>
    </message>
    <message>
        <source>Left In Use</source>
        <translation>удалено не полностью: используется</translation>
    </message>
    <message>
        <source>Left Failed</source>
        <translation>удалено не полностью</translation>
    </message>
    <message>
        <source>Release Freed</source>
        <translation>Кэш вернул </translation>
    </message>
    <message>
        <source>Release Nothing</source>
        <translation>Не удалось освободить память.</translation>
    </message>
    <message>
        <source>Release Failed</source>
        <translation>Вспомогательная программа освобождения памяти завершилась с ошибкой; память не освобождена.</translation>
    </message>
    <message>
        <source>Release Unmeasured</source>
        <translation>Память освобождена; сколько — измерить не удалось.</translation>
    </message>
    <message>
        <source>Release No Helper</source>
        <translation>Память не освобождена: вспомогательная программа освобождения памяти (headroom-purge) не установлена.</translation>
    </message>
    <message>
        <source>Release No Pkexec</source>
        <translation>Память не освобождена: pkexec не установлен, а без него нельзя запросить пароль администратора.</translation>
    </message>
    <message>
        <source>Release Cancelled</source>
        <translation>Память не освобождена: окно ввода пароля было закрыто.</translation>
    </message>
    <message>
        <source>Release Refused</source>
        <translation>Память не освобождена: пароль администратора не принят или его не удалось запросить.</translation>
    </message>
    <message>
        <source>Progress Measuring</source>
        <translation>Идёт измерение: %1…</translation>
    </message>
    <message>
        <source>Progress Removing</source>
        <translation>Идёт удаление: %1…</translation>
    </message>
    <message>
        <source>Progress Measured</source>
        <translation>Объектов: %1 · Размер: %2</translation>
    </message>
    <message>
        <source>Progress Removed</source>
        <translation>Удалено объектов: %1</translation>
    </message>
    <message>
        <source>Releasing</source>
        <translation>Освобождение памяти…</translation>
    </message>
    <message>
        <source>Release Waiting</source>
        <translation>Работает вспомогательная программа освобождения памяти; она может запросить пароль администратора.</translation>
    </message>
    <message>
        <source>Items Show</source>
        <translation>Показать содержимое</translation>
    </message>
    <message>
        <source>Item Name</source>
        <translation>Объект</translation>
    </message>
    <message>
        <source>Item Size</source>
        <translation>Размер</translation>
    </message>
    <message>
        <source>Item On Disk</source>
        <translation>На диске</translation>
    </message>
    <message>
        <source>Item Share</source>
        <translation>Доля</translation>
    </message>
    <message>
        <source>Items Rest</source>
        <translation>И ещё %1</translation>
    </message>
    <message>
        <source>Items Rest Tip</source>
        <translation>Удаляются вместе со строкой</translation>
    </message>
    <message>
        <source>Item Keep Tip</source>
        <translation>Снимите отметку, чтобы сохранить при очистке</translation>
    </message>
    <message>
        <source>Row On Disk</source>
        <translation>Место на диске: %1</translation>
    </message>
    <message>
        <source>Item Deleted</source>
        <translation>Удалено %1</translation>
    </message>
    <message>
        <source>Free</source>
        <translation>Свободно </translation>
    </message>
    <message>
        <source>Wired</source>
        <translation>Закреплено </translation>
    </message>
    <message>
        <source>Active</source>
        <translation>Активно </translation>
    </message>
    <message>
        <source>Inactive</source>
        <translation>Неактивно </translation>
    </message>
    <message>
        <source>About Text</source>
        <translation>Показывает, насколько заполнен диск и как распределена память, удаляет мусор из домашней папки и освобождает память.</translation>
    </message>
    <message>
        <source>Licence</source>
        <translation>Лицензия: </translation>
    </message>
    <message>
        <source>No Tray Hint</source>
        <translation>Область уведомлений не найдена: в GNOME включите расширение AppIndicator, чтобы появился значок.</translation>
    </message>
    <message>
        <source>No Display</source>
        <translation>нет экрана, на котором можно открыть окно. Чтобы увидеть данные в этом терминале, выполните: headroom-cli status</translation>
    </message>
    <message>
        <source>Busy</source>
        <translation>Headroom ещё выполняет ваш предыдущий запрос. Повторите попытку, когда он завершится.</translation>
    </message>
</context>
</TS>
