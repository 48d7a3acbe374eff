# 紫金拼音输入法 系统词库（演示）：拼音 词语
nihao 你好
zijin 紫金
pinyin 拼音
shurufa 输入法
