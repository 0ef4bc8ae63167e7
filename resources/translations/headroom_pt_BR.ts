<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="pt_BR" sourcelanguage="en">
<context>
    <name>Headroom</name>
    <message>
        <source>Authorize</source>
        <translation>Escolher a pasta pessoal…</translation>
    </message>
    <message>
        <source>Disk</source>
        <translation>Disco</translation>
    </message>
    <message>
        <source>Check</source>
        <translation>&amp;Analisar arquivos inúteis</translation>
    </message>
    <message>
        <source>Clean</source>
        <translation>&amp;Limpar arquivos inúteis</translation>
    </message>
    <message>
        <source>Memory</source>
        <translation>Memória</translation>
    </message>
    <message>
        <source>Release</source>
        <translation>Liberar memória</translation>
    </message>
    <message>
        <source>Show</source>
        <translation>Mostrar a janela</translation>
    </message>
    <message>
        <source>Hide</source>
        <translation>Ocultar a janela</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Sobre o Headroom</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Sair do Headroom</translation>
    </message>
    <message>
        <source>Authorization</source>
        <translation>O Headroom precisa da sua pasta pessoal</translation>
    </message>
    <message>
        <source>Authorization Need</source>
        <translation>Para medir e limpar caches, logs, downloads e a lixeira, o Headroom precisa de acesso à sua pasta pessoal. Na próxima janela, escolha sua pasta pessoal e confirme.</translation>
    </message>
    <message>
        <source>Authorized</source>
        <translation>Pasta pessoal: </translation>
    </message>
    <message>
        <source>Not Authorized</source>
        <translation>Nenhuma pasta pessoal escolhida</translation>
    </message>
    <message>
        <source>Total</source>
        <translation>Total</translation>
    </message>
    <message>
        <source>FreeDisk</source>
        <translation>Livre</translation>
    </message>
    <message>
        <source>Folder Disk</source>
        <translation>Disco da pasta pessoal: </translation>
    </message>
    <message>
        <source>Caches</source>
        <translation>Caches </translation>
    </message>
    <message>
        <source>Logs</source>
        <translation>Logs </translation>
    </message>
    <message>
        <source>Downloads</source>
        <translation>Downloads </translation>
    </message>
    <message>
        <source>Mail Download</source>
        <translation>Downloads do e-mail </translation>
    </message>
    <message>
        <source>Trash</source>
        <translation>Lixeira </translation>
    </message>
    <message>
        <source>Permission Alert</source>
        <translation>O Headroom ainda não consegue acessar sua pasta pessoal</translation>
    </message>
    <message>
        <source>Permission Info</source>
        <translation>Em seguida, o Headroom pedirá sua pasta pessoal. Depois de escolhê-la, tente novamente.</translation>
    </message>
    <message>
        <source>Percent Used</source>
        <translation>% em uso</translation>
    </message>
    <message>
        <source>Clean Freed</source>
        <translation>Limpeza concluída: o disco ganhou </translation>
    </message>
    <message>
        <source>Clean Removed</source>
        <translation>Os itens removidos ocupavam </translation>
    </message>
    <message>
        <source>Clean Held</source>
        <translation>Arquivos que programas ainda mantêm abertos, ou links físicos para eles em outro lugar, continuam ocupando o restante.</translation>
    </message>
    <message>
        <source>Clean Unmeasured</source>
        <translation>Limpeza concluída. Não foi possível ler o espaço livre do disco.</translation>
    </message>
    <message>
        <source>Rows Unmeasured</source>
        <translation>Algumas linhas não puderam ser medidas por inteiro por falta de arquivos abertos ou de memória; elas não mostram tamanho.</translation>
    </message>
    <message>
        <source>Clean Short</source>
        <translation>Não foi possível remover tudo por falta de arquivos abertos ou de memória.</translation>
    </message>
    <message>
        <source>Left Link</source>
        <translation>deixado como está, é um link para </translation>
    </message>
    <message>
        <source>Left Mount</source>
        <translation>deixado como está, é outro sistema de arquivos montado</translation>
    </message>
    <message>
        <source>Left Mount Inside</source>
        <translation>não removido por completo, outro sistema de arquivos montado dentro permanece</translation>
    </message>
    <message>
        <source>Left Read Only</source>
        <translation>não removido, o sistema de arquivos é somente leitura</translation>
    </message>
    <message>
        <source>Left Permission</source>
        <translation>não removido por completo, permissão negada</translation>
    </message>
    <message>
        <source>Left In Use</source>
        <translation>não removido por completo, em uso</translation>
    </message>
    <message>
        <source>Left Failed</source>
        <translation>não removido por completo</translation>
    </message>
    <message>
        <source>Release Freed</source>
        <translation>O cache devolveu </translation>
    </message>
    <message>
        <source>Release Nothing</source>
        <translation>Não foi possível liberar memória.</translation>
    </message>
    <message>
        <source>Release Failed</source>
        <translation>O auxiliar de liberação de memória falhou; nenhuma memória foi liberada.</translation>
    </message>
    <message>
        <source>Release Unmeasured</source>
        <translation>Memória liberada; não foi possível medir quanto.</translation>
    </message>
    <message>
        <source>Release No Helper</source>
        <translation>Nenhuma memória foi liberada: o auxiliar de liberação de memória (headroom-purge) não está instalado.</translation>
    </message>
    <message>
        <source>Release No Pkexec</source>
        <translation>Nenhuma memória foi liberada: o pkexec não está instalado e, sem ele, a senha de administrador não pode ser pedida.</translation>
    </message>
    <message>
        <source>Release Cancelled</source>
        <translation>Nenhuma memória foi liberada: a janela da senha foi fechada.</translation>
    </message>
    <message>
        <source>Release Refused</source>
        <translation>Nenhuma memória foi liberada: a senha de administrador não foi aceita ou não pôde ser pedida.</translation>
    </message>
    <message>
        <source>Progress Measuring</source>
        <translation>Medindo %1…</translation>
    </message>
    <message>
        <source>Progress Removing</source>
        <translation>Removendo %1…</translation>
    </message>
    <message>
        <source>Progress Measured</source>
        <translation>Itens: %1 · Tamanho: %2</translation>
    </message>
    <message>
        <source>Progress Removed</source>
        <translation>Itens removidos: %1</translation>
    </message>
    <message>
        <source>Releasing</source>
        <translation>Liberando memória…</translation>
    </message>
    <message>
        <source>Release Waiting</source>
        <translation>O auxiliar de liberação de memória está em execução; ele pode pedir a senha de administrador.</translation>
    </message>
    <message>
        <source>Items Show</source>
        <translation>Mostrar o conteúdo</translation>
    </message>
    <message>
        <source>Item Name</source>
        <translation>Item</translation>
    </message>
    <message>
        <source>Item Size</source>
        <translation>Tamanho</translation>
    </message>
    <message>
        <source>Item On Disk</source>
        <translation>No disco</translation>
    </message>
    <message>
        <source>Item Share</source>
        <translation>Parte</translation>
    </message>
    <message>
        <source>Items Rest</source>
        <translation>E mais %1</translation>
    </message>
    <message>
        <source>Items Rest Tip</source>
        <translation>Removidos com a linha</translation>
    </message>
    <message>
        <source>Item Keep Tip</source>
        <translation>Desmarque para mantê-lo na limpeza</translation>
    </message>
    <message>
        <source>Row On Disk</source>
        <translation>Espaço em disco: %1</translation>
    </message>
    <message>
        <source>Item Deleted</source>
        <translation>Excluído em %1</translation>
    </message>
    <message>
        <source>Free</source>
        <translation>Livre </translation>
    </message>
    <message>
        <source>Wired</source>
        <translation>Fixa </translation>
    </message>
    <message>
        <source>Active</source>
        <translation>Ativa </translation>
    </message>
    <message>
        <source>Inactive</source>
        <translation>Inativa </translation>
    </message>
    <message>
        <source>About Text</source>
        <translation>Mostra o quanto seu disco está cheio e como a memória está dividida, limpa arquivos inúteis da sua pasta pessoal e libera memória.</translation>
    </message>
    <message>
        <source>Licence</source>
        <translation>Licença: </translation>
    </message>
    <message>
        <source>No Tray Hint</source>
        <translation>Nenhuma bandeja do sistema encontrada: no GNOME, ative a extensão AppIndicator para ter um ícone na bandeja.</translation>
    </message>
    <message>
        <source>No Display</source>
        <translation>nenhuma tela na qual abrir uma janela. Para ver os números neste terminal, execute: headroom-cli status</translation>
    </message>
    <message>
        <source>Busy</source>
        <translation>O Headroom ainda está trabalhando no seu último pedido. Tente novamente quando ele terminar.</translation>
    </message>
</context>
</TS>
